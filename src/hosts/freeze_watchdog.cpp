#include "hosts/freeze_watchdog.h"

#include <cstring>

#include "core/internal_errors.h"
#include "core/module_options.h"
#include "core/trace.h"
#include "hosts/frozen_application.h"
#include "hosts/main_thread.h"
#include "runtime/system.h"

namespace vl::hosts {

namespace {

TFreezeThread* g_watchdog = nullptr;

struct WindowSearch {
  DWORD processId;
  DWORD threadId;
  HWND found;
};

BOOL CALLBACK MainWindowCandidate(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD processId = 0;
  DWORD threadId = GetWindowThreadProcessId(window, &processId);
  if (processId != search->processId || threadId != search->threadId) return TRUE;
  if (!IsWindowVisible(window)) return TRUE;
  HWND owner = GetWindow(window, GW_OWNER);
  if (owner && owner != GetDesktopWindow()) return TRUE;
  LONG_PTR exStyle = GetWindowLongPtrA(window, GWL_EXSTYLE);
  if ((exStyle & WS_EX_TOOLWINDOW) && !(exStyle & WS_EX_APPWINDOW)) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

TSeams& Seams() {
  static TSeams seams;
  return seams;
}

// The platform side of the freeze cycle, on the watchdog thread.
class TFreezeThread::TEnvironment : public TFreezeEnvironment {
 public:
  explicit TEnvironment(TFreezeThread& thread) : FThread(thread) {}

  uint64_t NowMs() override {
    // GetTickCount extended to 64 bits: the cycle asks at least every 250 ms, so no wrap of
    // the 32-bit count is missed.
    DWORD tick = GetTickCount();
    if (tick < FLastTick) FHigh += uint64_t(1) << 32;
    FLastTick = tick;
    return FHigh + tick;
  }
  void SleepMs(uint32_t ms) override { Sleep(ms); }
  bool StopRequested() override { return FThread.Terminated(); }
  bool FindWindow() override {
    FThread.FWindow = FThread.FindMainWindow();
    if (FThread.FWindow) Trace("TFreezeThread: main window", {static_cast<void*>(FThread.FWindow)});
    return FThread.FWindow != nullptr;
  }
  TProbeResult Probe() override {
    HWND window = FThread.FWindow;
    DWORD_PTR result = 0;
    if (SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_BLOCK, ProbeTimeoutMs, &result))
      return TProbeResult::Answered;
    if (!IsWindow(window)) {
      FThread.FWindow = nullptr;
      return TProbeResult::WindowGone;
    }
    return TProbeResult::NoAnswer;
  }
  TFreezeOutcome ReportFreeze() override { return FThread.CaptureAndNotify(); }

 private:
  TFreezeThread& FThread;
  DWORD FLastTick = 0;
  uint64_t FHigh = 0;
};

TFreezeThread::TFreezeThread(int32_t watchdogSeconds, std::string message)
    : Classes::TThread(true), FSeconds(watchdogSeconds), FMessage(std::move(message)) {
  InitializeCriticalSection(&FWorkLock);
  const TMainThread& main = MainThread();
  if (main.StackBase > main.StackLimit) {
    FStackBufferSize = main.StackBase - main.StackLimit;
    FStackBuffer = static_cast<uint8_t*>(
        VirtualAlloc(nullptr, FStackBufferSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (!FStackBuffer) FStackBufferSize = 0;
  }
}

TFreezeThread::~TFreezeThread() {
  // The thread uses the buffer and the lock: it must have ended before they go.
  Terminate();
  if (Suspended()) Resume();
  if (!Finished() && GetCurrentThreadId() != ThreadID()) WaitFor();
  if (FStackBuffer) VirtualFree(FStackBuffer, 0, MEM_RELEASE);
  DeleteCriticalSection(&FWorkLock);
}

bool TFreezeThread::TerminateWhenIdle() {
  Terminate();
  // Never waits for a capture or notification: the loader lock is held here and the notification
  // may need it; at process exit its thread is already gone and the lock orphaned.
  if (!TryEnterCriticalSection(&FWorkLock)) return false;
  if (!Finished()) TerminateThread(Handle(), 1);
  WaitForSingleObject(Handle(), INFINITE);
  LeaveCriticalSection(&FWorkLock);
  return true;
}

HWND TFreezeThread::FindMainWindow() const {
  WindowSearch search{GetCurrentProcessId(), MainThread().ThreadId, nullptr};
  if (search.threadId == 0) return nullptr;
  EnumWindows(MainWindowCandidate, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool TFreezeThread::Capture(TFrozenThreadState& state) {
  // Between SuspendThread and ResumeThread: no allocation, no trace, no lock.
  const TMainThread& main = MainThread();
  LARGE_INTEGER frequency = {}, suspended = {}, resumed = {};
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&suspended);
  if (SuspendThread(main.Handle) == static_cast<DWORD>(-1)) return false;
  std::memset(&state.Context, 0, sizeof state.Context);
  state.Context.ContextFlags = CONTEXT_FULL;
  bool ok = GetThreadContext(main.Handle, &state.Context) != FALSE;
#if defined(_M_X64) || defined(__x86_64__)
  state.InstructionPointer = ok ? static_cast<uintptr_t>(state.Context.Rip) : 0;
  state.StackPointer = ok ? static_cast<uintptr_t>(state.Context.Rsp) : 0;
#else
  state.InstructionPointer = ok ? static_cast<uintptr_t>(state.Context.Eip) : 0;
  state.StackPointer = ok ? static_cast<uintptr_t>(state.Context.Esp) : 0;
#endif
  state.StackBase = main.StackBase;
  ok = ok && state.InstructionPointer != 0 && state.StackPointer != 0 &&
       state.StackPointer < state.StackBase &&
       state.StackBase - state.StackPointer <= FStackBufferSize;
  SIZE_T copied = 0;
  if (ok) {
    const size_t size = state.StackBase - state.StackPointer;
    ok = ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<void*>(state.StackPointer),
                           FStackBuffer, size, &copied) != FALSE &&
         copied == size;
  }
  ResumeThread(main.Handle);
  QueryPerformanceCounter(&resumed);
  if (frequency.QuadPart > 0)
    state.SuspendedMicroseconds = static_cast<uint64_t>(resumed.QuadPart - suspended.QuadPart) *
                                  1000000u / static_cast<uint64_t>(frequency.QuadPart);
  state.StackCopy = ok ? FStackBuffer : nullptr;
  state.StackCopySize = ok ? static_cast<size_t>(copied) : 0;
  return ok;
}

TFreezeOutcome TFreezeThread::CaptureAndNotify() {
  const TSeams& seams = Seams();
  if (rtl::IsLibrary()) {
    // A library stays loaded from its first capture on: a detach cannot wait for the thread, so
    // only the process's end (which ends the thread first) may unload the code it runs.
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<const char*>(&Seams), &self);
  }
  EnterCriticalSection(&FWorkLock);
  TFreezeOutcome outcome = TFreezeOutcome::NoContext;
  if (!Terminated()) {
    if (seams.TryTakeHandling && !seams.TryTakeHandling(GetCurrentThreadId())) {
      outcome = TFreezeOutcome::Busy;
    } else {
      Trace("TFreezeThread: main thread frozen", {static_cast<uint32_t>(MainThread().ThreadId)});
      FState = TFrozenThreadState();
      FState.ThreadId = MainThread().ThreadId;
      if (Capture(FState)) {
        outcome = TFreezeOutcome::Reported;
        try {
          FState.Error = std::make_exception_ptr(EFrozenApplication(FMessage));
          if (seams.NotifyFreeze) seams.NotifyFreeze(FState);
        } catch (...) {
          Trace("TFreezeThread: the notification raised");
        }
        FState.Error = nullptr;
      } else {
        Trace("TFreezeThread: no registers; cycle dropped");
      }
      if (seams.TryTakeHandling && seams.ReleaseHandling) seams.ReleaseHandling();
    }
  }
  LeaveCriticalSection(&FWorkLock);
  return outcome;
}

void TFreezeThread::Execute() {
  Trace("TFreezeThread.Execute", {FSeconds}, 2);
  if (FStackBuffer && MainThread().Handle) {
    TEnvironment env(*this);
    RunFreezeWatchdog(env, FSeconds);
  }
  Trace("TFreezeThread.Execute end", {}, -2);
}

void StartFreezeWatchdog() {
  Trace("StartFreezeWatchdog", {}, 2);
  const TSeams& seams = Seams();
  const TVantorModuleOptions* options = seams.CurrentOptions ? seams.CurrentOptions() : nullptr;
  if (g_watchdog && g_watchdog->Terminated() && GetCurrentThreadId() != g_watchdog->ThreadID())
    StopFreezeWatchdog();  // an earlier stop request from the watchdog itself: finish it
  if (!g_watchdog && options && options->WatchdogOn() && MainThread().Handle && !IsRunningInIDE()) {
    try {
      g_watchdog = new TFreezeThread(options->WatchdogSeconds(), options->WatchdogMessage());
      g_watchdog->Resume();
    } catch (...) {
      Trace("StartFreezeWatchdog: the thread could not be created");
      g_watchdog = nullptr;
    }
  }
  Trace("StartFreezeWatchdog end", {}, -2);
}

void StopFreezeWatchdog() {
  if (!g_watchdog) return;
  Trace("StopFreezeWatchdog", {}, 2);
  if (GetCurrentThreadId() == g_watchdog->ThreadID()) {
    // A handler on the watchdog thread: it cannot wait for itself.
    g_watchdog->Terminate();
  } else {
    TFreezeThread* watchdog = g_watchdog;
    g_watchdog = nullptr;
    if (!rtl::IsLibrary()) {
      watchdog->Terminate();
    } else if (!watchdog->TerminateWhenIdle()) {
      // Busy: its thread may still use the object, which is left to the process's end.
      Trace("StopFreezeWatchdog: a notification runs; the thread is left alone");
      watchdog = nullptr;
    }
    delete watchdog;
  }
  Trace("StopFreezeWatchdog end", {}, -2);
}

bool FreezeWatchdogRunning() { return g_watchdog && !g_watchdog->Finished(); }

}  // namespace vl::hosts
