#include "capture/thread_registry.h"

#include <cxxabi.h>

#include <atomic>
#include <cstring>
#include <new>

#include "capture/capture_state.h"
#include "capture/process_memory.h"
#include "capture/thrower_walk.h"
#include "core/trace.h"
#include "hooking/hooking.h"
#include "platform/module_file.h"
#include "runtime/thread.h"

namespace vl::capture {

namespace {

std::atomic<TVantorThreadsList*> g_registry{nullptr};

using TCreateThread = HANDLE(WINAPI*)(SECURITY_ATTRIBUTES*, SIZE_T, LPTHREAD_START_ROUTINE, void*,
                                      DWORD, DWORD*);
using TResumeThread = DWORD(WINAPI*)(HANDLE);
using TExitThread = void(WINAPI*)(DWORD);
// The thread-object routine that HookedRTLThreadProc runs, kept on first use.
std::atomic<DWORD (*)(void*)> g_threadObjectProc{nullptr};
TCreateThread g_createThread = nullptr;
TResumeThread g_resumeThread = nullptr;
TExitThread g_exitThread = nullptr;

template <typename T>
T System(T& cached, const char* name) {
  if (!cached) {
    cached = reinterpret_cast<T>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)));
  }
  return cached;
}

// What HookedThreadProc owns: its own copy of the program's start routine and parameter.
struct TStartBlock {
  LPTHREAD_START_ROUTINE Start;
  void* Parameter;
};

void FreeEntry(TThreadEntry* entry) {
  if (!entry) return;
  delete[] entry->CreatorStack;
  delete entry;
}

void Redirect(const char* name, void*& old, void* replacement) {
  try {
    old = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name));
    if (old) {
      hooking::HookImport(platform::CrashReporterModule(), old, replacement, false, true,
                          std::string("kernel32.dll.") + name);
    }
  } catch (const std::exception& e) {
    Trace("InstallThreadHooks: skipped", {std::string(name), std::string(e.what())}, 0);
  }
}

}  // namespace

TVantorThreadsList::TVantorThreadsList() { InitializeCriticalSection(&FLock); }

TVantorThreadsList::~TVantorThreadsList() {
  Clear();
  DeleteCriticalSection(&FLock);
}

void TVantorThreadsList::Lock() { EnterCriticalSection(&FLock); }
void TVantorThreadsList::Unlock() { LeaveCriticalSection(&FLock); }

void TVantorThreadsList::Add(TThreadEntry* entry) {
  try {
    FItems.push_back(entry);
  } catch (...) {
    FreeEntry(entry);
  }
}

void TVantorThreadsList::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  FreeEntry(FItems[static_cast<size_t>(index)]);
  FItems.erase(FItems.begin() + index);
}

void TVantorThreadsList::Clear() {
  for (TThreadEntry* entry : FItems) FreeEntry(entry);
  FItems.clear();
}

int TVantorThreadsList::IndexOfHandle(HANDLE handle) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i]->ThreadHandle == handle) return static_cast<int>(i);
  return -1;
}

int TVantorThreadsList::IndexOfThreadId(DWORD threadId) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i]->ThreadId == threadId) return static_cast<int>(i);
  return -1;
}

void TVantorThreadsList::RemoveCurrentThread() {
  Lock();
  Delete(IndexOfThreadId(GetCurrentThreadId()));
  Unlock();
}

TVantorThreadsList* ThreadRegistry() { return g_registry.load(std::memory_order_acquire); }

void CreateThreadRegistry() {
  if (!g_registry.load()) g_registry.store(new TVantorThreadsList());
}

void InstallThreadHooks() {
  CreateThreadRegistry();
  AddGuardFrame(reinterpret_cast<uintptr_t>(&HookedThreadProc));
  void* old = nullptr;
  Redirect("CreateThread", old, reinterpret_cast<void*>(&HookedCreateThread));
  if (old) g_createThread = reinterpret_cast<TCreateThread>(old);
  Redirect("ResumeThread", old, reinterpret_cast<void*>(&HookedResumeThread));
  if (old) g_resumeThread = reinterpret_cast<TResumeThread>(old);
  Redirect("ExitThread", old, reinterpret_cast<void*>(&HookedExitThread));
  if (old) g_exitThread = reinterpret_cast<TExitThread>(old);
}

void FreeThreadRegistry() {
  // The list itself stays until the process ends: a hook on another thread may have taken it
  // just before the capture was switched off.
  TVantorThreadsList* registry = g_registry.load();
  if (!registry) return;
  registry->Lock();
  registry->Clear();
  registry->Unlock();
}

}  // namespace vl::capture

using namespace vl;
using namespace vl::capture;

extern "C" DWORD WINAPI HookedThreadProc(void* block) {
  TStartBlock start = *static_cast<TStartBlock*>(block);
  delete static_cast<TStartBlock*>(block);
  DWORD result = 0;
  try {
    result = start.Start(start.Parameter);
  }
  VL_PASS_FORCED_UNWIND catch (...) {
    // Reported at its raise; the thread ends with 0.
    result = 0;
  }
  if (TVantorThreadsList* registry = ThreadRegistry()) registry->RemoveCurrentThread();
  return result;
}

extern "C" DWORD HookedRTLThreadProc(void* threadObject) {
  Trace("HookedRTLThreadProc", {reinterpret_cast<uintptr_t>(threadObject)}, 2);
  DWORD (*proc)(void*) = g_threadObjectProc.load();
  // The object may free itself inside the routine: it is not touched afterwards.
  const DWORD result = proc ? proc(threadObject) : Classes::TThread::ThreadProc(threadObject);
  Trace("HookedRTLThreadProc=", {result}, -2);
  return result;
}

extern "C" HANDLE WINAPI HookedCreateThread(SECURITY_ATTRIBUTES* attributes, SIZE_T stackSize,
                                            LPTHREAD_START_ROUTINE start, void* parameter,
                                            DWORD flags, DWORD* threadId) {
  TCreateThread create = System(g_createThread, "CreateThread");
  TVantorThreadsList* registry = ThreadRegistry();
  if (!CaptureInstalled.load() || !registry || !start) {
    return create(attributes, stackSize, start, parameter, flags, threadId);
  }
  Trace("HookedCreateThread",
        {reinterpret_cast<uintptr_t>(start), reinterpret_cast<uintptr_t>(parameter),
         static_cast<uint32_t>(flags)},
        2);
  auto* entry = new (std::nothrow) TThreadEntry();
  auto* block = new (std::nothrow) TStartBlock{start, parameter};
  if (!entry || !block) {
    delete entry;
    delete block;
    return create(attributes, stackSize, start, parameter, flags, threadId);
  }
  entry->StartAddress = reinterpret_cast<void*>(start);
  entry->Parameter = parameter;
  if (start == &rtl::ThreadWrapper && parameter &&
      IsReadable(reinterpret_cast<uintptr_t>(parameter), sizeof(rtl::TThreadRec))) {
    auto* rec = static_cast<rtl::TThreadRec*>(parameter);
    if (rec->Func == &Classes::TThread::ThreadProc) {
      entry->ThreadObject = static_cast<Classes::TThread*>(rec->Parameter);
      DWORD (*expected)(void*) = nullptr;
      g_threadObjectProc.compare_exchange_strong(expected, rec->Func);
      rec->Func = &HookedRTLThreadProc;
    }
  }
  DWORD id = 0;
  registry->Lock();
  HANDLE handle =
      create(attributes, stackSize, &HookedThreadProc, block, flags | CREATE_SUSPENDED, &id);
  const DWORD error = GetLastError();
  if (!handle) {
    registry->Unlock();
    delete block;
    FreeEntry(entry);
    SetLastError(error);
    Trace("HookedCreateThread=", {uintptr_t{0}}, -2);
    return nullptr;
  }
  entry->ThreadId = id;
  entry->ThreadHandle = handle;
  registry->Add(entry);
  registry->Unlock();
  if (threadId) *threadId = id;
  if (!(flags & CREATE_SUSPENDED)) HookedResumeThread(handle);
  SetLastError(error);
  Trace("HookedCreateThread=", {reinterpret_cast<uintptr_t>(handle)}, -2);
  return handle;
}

namespace {

// GetThreadId where the system has it (Windows Vista and later, Wine).
DWORD ThreadIdOf(HANDLE thread) {
  using TGetThreadId = DWORD(WINAPI*)(HANDLE);
  static const auto get = reinterpret_cast<TGetThreadId>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetThreadId")));
  return get ? get(thread) : 0;
}

}  // namespace

extern "C" DWORD WINAPI HookedResumeThread(HANDLE thread) {
  TResumeThread resume = System(g_resumeThread, "ResumeThread");
  TVantorThreadsList* registry = ThreadRegistry();
  if (CaptureInstalled.load() && registry) {
    const auto from = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    uintptr_t low, high;
    CurrentStackBounds(low, high);
    // By the thread's ID: a handle value is reused once a closed one is gone.
    const DWORD id = ThreadIdOf(thread);
    registry->Lock();
    const int index = id ? registry->IndexOfThreadId(id) : -1;
    if (index >= 0) {
      TThreadEntry* entry = registry->Items(index);
      delete[] entry->CreatorStack;
      entry->CreatorStack = nullptr;
      entry->CreatorStackSize = 0;
      const size_t size = high > from ? high - from : 0;
      uint8_t* copy = size && IsReadable(from, size) ? new (std::nothrow) uint8_t[size] : nullptr;
      if (copy) {
        std::memcpy(copy, reinterpret_cast<const void*>(from), size);
        entry->CreatorStack = copy;
        entry->CreatorStackSize = static_cast<uint32_t>(size);
        entry->CreatorStackAddress = from;
      } else {
        registry->Delete(index);
      }
    }
    registry->Unlock();
  }
  return resume(thread);
}

extern "C" void WINAPI HookedExitThread(DWORD exitCode) {
  TExitThread exit = System(g_exitThread, "ExitThread");
  if (CaptureInstalled.load()) {
    if (TVantorThreadsList* registry = ThreadRegistry()) registry->RemoveCurrentThread();
  }
  exit(exitCode);
}
