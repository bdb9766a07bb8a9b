#include "capture/failure_handoff.h"

#include <atomic>
#include <cstring>

#include "capture/capture_state.h"
#include "core/trace.h"
#include "runtime/system.h"

namespace vl::capture {

namespace {

constexpr DWORD HeapCorruptionCode = 0xC0000374;  // STATUS_HEAP_CORRUPTION

// The overflow being reported: written by the overflowed thread before it signals g_go, read
// by the reporting thread until it signals g_done. One overflow at a time.
EXCEPTION_RECORD g_record;
CONTEXT g_context;
uintptr_t g_stackBase = 0;
std::atomic<DWORD> g_overflowing{0};  // the thread being reported, 0 when none
std::atomic<DWORD> g_reported{0};     // the last thread reported
std::atomic<bool> g_stopping{false};
HANDLE g_go = nullptr;
HANDLE g_done = nullptr;
HANDLE g_thread = nullptr;
DWORD g_threadId = 0;
void* g_handler = nullptr;

uintptr_t StackBaseOfThisThread() {
  // The thread information block's StackBase, read without a call.
  uintptr_t base = 0;
#if defined(__x86_64__)
  __asm__("movq %%gs:0x08, %0" : "=r"(base));
#else
  __asm__("movl %%fs:0x04, %0" : "=r"(base));
#endif
  return base;
}

uintptr_t StackPointerOf(const CONTEXT& context) {
#if defined(__x86_64__)
  return context.Rsp;
#else
  return context.Esp;
#endif
}

// On the overflowed thread, with little stack: copies, signals, waits. No C++ object, no trace.
LONG WINAPI OverflowHandler(EXCEPTION_POINTERS* info) {
  const DWORD code = info->ExceptionRecord->ExceptionCode;
  if (code != EXCEPTION_STACK_OVERFLOW && code != HeapCorruptionCode) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  const DWORD self = GetCurrentThreadId();
  DWORD none = 0;
  if (g_stopping.load() || self == g_threadId || !CaptureInstalled.load() ||
      !CatchingEnabled.load() || !g_overflowing.compare_exchange_strong(none, self)) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  std::memcpy(&g_record, info->ExceptionRecord, sizeof g_record);
  g_record.ExceptionRecord = nullptr;
  std::memcpy(&g_context, info->ContextRecord, sizeof g_context);
  g_stackBase = StackBaseOfThisThread();
  SetEvent(g_go);
  // As long as the report takes (it may show a dialog), or until the reporting thread dies.
  // A damaged heap can stop the report for good at its first allocation: that one is given a
  // minute, then the process ends as without the reporter.
  const HANDLE ends[2] = {g_done, g_thread};
  WaitForMultipleObjects(2, ends, FALSE, code == HeapCorruptionCode ? 60000 : INFINITE);
  g_overflowing.store(0);
  // The end Windows gives both: the process, with the exception's code. (Wine would end only
  // an overflowed thread, and the reporter's own threads would keep a process without its main
  // thread.)
  TerminateProcess(GetCurrentProcess(), code);
  return EXCEPTION_CONTINUE_SEARCH;
}

DWORD WINAPI ReportingThread(void*) {
  for (;;) {
    WaitForSingleObject(g_go, INFINITE);
    if (g_stopping.load()) return 0;
    const DWORD thread = g_overflowing.load();
    Trace("stack overflow reported for thread", {static_cast<uint32_t>(thread)}, 0);
    if (Seams().ExceptNotifyForThread && !IsThreadIgnored(thread) && TakeHandling()) {
      try {
        // The runtime's own object: the capture's hook would notify a second time.
        std::exception_ptr object = rtl::DefaultExceptObjProc(&g_record);
        Seams().ExceptNotifyForThread(object, g_record.ExceptionAddress, &g_context,
                                      StackPointerOf(g_context), g_stackBase, thread);
      } catch (...) {
        Trace("the stack overflow's notification raised", {}, 0);
      }
      ReleaseHandling();
    }
    SetEvent(g_done);
  }
}

}  // namespace

bool InstallFailureHandoff() {
  if (g_handler) return true;
  g_stopping.store(false);
  g_go = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  g_done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (g_go && g_done) {
    g_thread = CreateThread(nullptr, 0, ReportingThread, nullptr, 0, &g_threadId);
  }
  if (g_thread) {
    IgnoreThread(g_threadId);
    g_handler = AddVectoredExceptionHandler(1, OverflowHandler);
  }
  if (!g_handler) {
    Trace("InstallFailureHandoff: not installed", {}, 0);
    RemoveFailureHandoff();
    return false;
  }
  return true;
}

void RemoveFailureHandoff() {
  if (g_handler) RemoveVectoredExceptionHandler(g_handler);
  g_handler = nullptr;
  if (g_thread) {
    g_stopping.store(true);
    SetEvent(g_go);
    // At a DLL's detach the thread cannot end while the loader lock is held: not waited for.
    if (!rtl::HoldsLoaderLock()) WaitForSingleObject(g_thread, 5000);
    CloseHandle(g_thread);
    g_thread = nullptr;
    g_threadId = 0;
  }
  if (g_go) CloseHandle(g_go);
  if (g_done) CloseHandle(g_done);
  g_go = g_done = nullptr;
}

}  // namespace vl::capture
