#include "pipeline/except_notify.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iterator>
#include <mutex>

#include "capture/capture_state.h"
#include "capture/process_memory.h"
#include "capture/raise_state.h"
#include "core/internal_errors.h"
#include "core/module_options.h"
#include "core/trace.h"
#include "modules/activation.h"
#include "pipeline/handlers.h"
#include "publishing/published_data.h"
#include "report/system_info_win.h"
#include "runtime/system.h"

namespace vl::pipeline {

namespace {

std::mutex g_pendingLock;  // PendingCallLock
const std::function<void()>* g_pendingCall = nullptr;
bool g_quitSeen = false;
WPARAM g_quitCode = 0;
// Windows whose painting waited for the end of the notification (repainted then).
// Less stack than this left below a notifying thread's frame: its steps run on a worker.
constexpr uintptr_t StackReserveForSteps = 128 * 1024;

HWND g_unpainted[16] = {};
size_t g_unpaintedCount = 0;

// Signalled when the worker leaves a call for the faulting thread, and when that call is done:
// neither side polls (auto-reset events, made once; null only when the system has none left,
// and then both sides wait in short slices instead).
HANDLE CallLeft() {
  static const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  return event;
}
HANDLE CallDone() {
  static const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  return event;
}

// The faulting thread runs the call the worker left for it, if any.
void RunPendingCall() {
  std::lock_guard<std::mutex> lock(g_pendingLock);
  if (!g_pendingCall) return;
  try {
    (*g_pendingCall)();
  } catch (...) {
    Trace("PendingCall raised", {}, 0);
  }
  g_pendingCall = nullptr;
  if (CallDone()) SetEvent(CallDone());
}

// The end of a notification, on the faulting thread.
void EndOfNotification() {
  capture::ClearLastException();
  capture::ResetRaiseState(capture::CurrentRaiseState());
  capture::WorkerThreadId.store(0);
  State().CurrentExceptionRecord = nullptr;
}

bool Active() {
  if (!modules::IsVantorLogActive() || !WorkingOptions()) return false;
  try {
    return CurrentVantorLogOptions()->Active();
  } catch (...) {
    return false;
  }
}

}  // namespace

bool StackNearlyExhausted() {
  MEMORY_BASIC_INFORMATION info{};
  const auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  if (!VirtualQuery(reinterpret_cast<void*>(here), &info, sizeof info)) return false;
  return here - reinterpret_cast<uintptr_t>(info.AllocationBase) < StackReserveForSteps;
}

uint32_t WorkerDeadlineMs = 30000;

bool WaitForWorker(TExceptionThread& worker, bool& abandoned) {
  abandoned = false;
  // The thread's end is what counts: a worker that dies inside the crash path (a fault, an
  // ExitThread) ends the wait as well as one that finishes.
  // A standing worker also ends the wait when it finished the job.
  HANDLE handles[3];
  DWORD count = 0;
  handles[count++] = worker.Handle();
  if (worker.JobDone()) handles[count++] = worker.JobDone();
  const DWORD ended = count;  // wait results below this: the thread or the job ended
  if (CallLeft()) handles[count++] = CallLeft();
  TStepClock& clock = StepClock();
  while (MsgWaitForMultipleObjects(count, handles, FALSE, 50, QS_ALLINPUT) - WAIT_OBJECT_0 >=
         ended) {
    FilterMessages();
    RunPendingCall();
    if (clock.CallsOut.load() == 0 &&
        GetTickCount() - clock.LastStepTick.load() > WorkerDeadlineMs) {
      // A step that hangs (a lock the worker cannot get, a read that never returns): the
      // notification is given up and the program's own handling goes on.
      clock.AbandonedWorker.store(worker.ThreadID());
      if (worker.Running && WaitForSingleObject(worker.Handle(), 0) != WAIT_OBJECT_0) {
        abandoned = true;
        ReportInternalBug("ExceptNotify.Deadline");
        return true;
      }
    }
  }
  if (worker.Running) {
    // Ended without a result: the notification is abandoned and the program's own handling
    // goes on, as it would without the reporter.
    ReportInternalBug("ExceptNotify.Worker");
    return true;
  }
  return worker.NotifyResult;
}

void FilterMessages() {
  MSG msg;
  for (int i = 0; i < 11 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
    switch (msg.message) {
      case WM_PAINT:
        // No window procedure of the program runs while it waits: a paint handler that faults
        // would start a second notification. The window is repainted afterwards.
        ValidateRect(msg.hwnd, nullptr);
        if (g_unpaintedCount < std::size(g_unpainted) &&
            std::find(g_unpainted, g_unpainted + g_unpaintedCount, msg.hwnd) ==
                g_unpainted + g_unpaintedCount) {
          g_unpainted[g_unpaintedCount++] = msg.hwnd;
        }
        break;
      case WM_SETREDRAW:
      case WM_ERASEBKGND:
      case WM_PAINTICON:
      case WM_ICONERASEBKGND:
      case WM_DISPLAYCHANGE:
      case WM_NCPAINT:
      case WM_PRINT:
      case WM_PRINTCLIENT:
      case 0x8002:
      case 0x8003:
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        break;
      case WM_CHAR:
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
      case WM_MBUTTONDOWN:
        MessageBeep(0);
        break;
      case WM_QUIT:
        // The program asked to end: kept for after the notification.
        g_quitSeen = true;
        g_quitCode = msg.wParam;
        break;
      default:
        break;
    }
  }
}

void RepostQuit() {
  for (size_t i = 0; i < g_unpaintedCount; ++i) InvalidateRect(g_unpainted[i], nullptr, TRUE);
  g_unpaintedCount = 0;
  if (!g_quitSeen) return;
  g_quitSeen = false;
  PostQuitMessage(static_cast<int>(g_quitCode));
}

TExceptionThread::TExceptionThread(std::exception_ptr object, void* address, bool fromRaise,
                                   const TExceptNotifyParams& params)
    : Classes::TThread(true) {
  Take(std::move(object), address, fromRaise, params);
}

TExceptionThread::TExceptionThread() : Classes::TThread(true) {
  Running = false;
  FJobReady = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  FJobDone = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (!FJobReady || !FJobDone) {
    // Without its events it could never be woken: it ends at once instead.
    Terminate();
  }
  Resume();
}

TExceptionThread::~TExceptionThread() {
  if (FJobReady) {
    Retire(INFINITE);
    CloseHandle(FJobReady);
  }
  if (FJobDone) CloseHandle(FJobDone);
}

void TExceptionThread::Take(std::exception_ptr object, void* address, bool fromRaise,
                            const TExceptNotifyParams& params) {
  FObject = std::move(object);
  FAddress = address;
  FFromRaise = fromRaise;
  FParams = params;
  // The faulting thread's own state, taken here on that thread.
  capture::TThreadRaiseState& raise = capture::CurrentRaiseState();
  std::memset(&FContext, 0, sizeof FContext);
  if (FParams.Context) {
    FContext = *FParams.Context;
    FParams.Context = &FContext;
  } else if (raise.Context.ContextFlags != 0) {
    FContext = raise.Context;
    FParams.Context = &FContext;
  }
  if (FParams.StackBase == 0) {
    uintptr_t low = 0;
    capture::CurrentStackBounds(low, FParams.StackBase);
  }
  if (FParams.StackPointer == 0) FParams.StackPointer = raise.StackPointer;
  FParams.ThreadId = GetCurrentThreadId();
  std::memset(&FRecord, 0, sizeof FRecord);
  if (FParams.FaultRecord) {
    FRecord = *FParams.FaultRecord;
    FRecord.ExceptionRecord = nullptr;
    FParams.FaultRecord = &FRecord;
  }
}

void TExceptionThread::Give(std::exception_ptr object, void* address, bool fromRaise,
                            const TExceptNotifyParams& params) {
  Take(std::move(object), address, fromRaise, params);
  NotifyResult = false;
  Running = true;
  SetEvent(FJobReady);
}

bool TExceptionThread::Retire(DWORD milliseconds) {
  if (Finished() || GetCurrentThreadId() == ThreadID()) return Finished();
  Terminate();
  if (FJobReady) SetEvent(FJobReady);
  return WaitForSingleObject(Handle(), milliseconds) == WAIT_OBJECT_0;
}

void TExceptionThread::RunJob() {
  Trace("TExceptionThread.Execute", {}, 0);
  try {
    NotifyResult = InternalExceptNotify(FObject, FAddress, FFromRaise, FParams);
  } catch (...) {
    NotifyResult = false;
  }
  // The exception is the program's again: a standing worker keeps no reference to it.
  FObject = nullptr;
  Running = false;
}

void TExceptionThread::Execute() {
  if (!FJobReady) {
    RunJob();
    return;
  }
  for (;;) {
    WaitForSingleObject(FJobReady, INFINITE);
    if (Terminated()) return;
    RunJob();
    SetEvent(FJobDone);
  }
}

namespace {

std::atomic<TExceptionThread*> g_standing{nullptr};
std::atomic<bool> g_standingWanted{false};

// A standing worker where the program wants one and none is waiting.
void MakeStandingWorker() {
  if (!g_standingWanted.load() || g_standing.load()) return;
  TExceptionThread* made = nullptr;
  try {
    made = new TExceptionThread();
  } catch (...) {
    return;  // the next notification makes its own worker
  }
  TExceptionThread* none = nullptr;
  if (!g_standing.compare_exchange_strong(none, made)) delete made;
}

// After its job: waits for the next one, unless it ended, is no longer wanted, or another
// stands already.
void PutBackStandingWorker(TExceptionThread* worker) {
  TExceptionThread* none = nullptr;
  if (!worker->Finished() && WaitForSingleObject(worker->Handle(), 0) == WAIT_TIMEOUT &&
      g_standingWanted.load() && g_standing.compare_exchange_strong(none, worker)) {
    return;
  }
  delete worker;
}

}  // namespace

void StartStandingWorker() {
  if (rtl::IsLibrary()) return;  // no thread may be waited for at a library's unload
  g_standingWanted.store(true);
  MakeStandingWorker();
}

void StopStandingWorker() {
  g_standingWanted.store(false);
  TExceptionThread* worker = g_standing.exchange(nullptr);
  // One that does not end in time is left alone.
  if (worker && worker->Retire(2000)) delete worker;
}

bool ExceptNotify(std::exception_ptr object, void* address, bool fromRaise, CONTEXT* context,
                  uintptr_t stackPointer, uintptr_t stackBase) {
  TExceptNotifyParams params;
  params.Context = context;
  params.StackPointer = stackPointer;
  params.StackBase = stackBase;
  return ExceptNotifyWith(std::move(object), address, fromRaise, params);
}

bool ExceptNotifyWith(std::exception_ptr object, void* address, bool fromRaise,
                      const TExceptNotifyParams& given) {
  Trace("ExceptNotify", {reinterpret_cast<uintptr_t>(address), fromRaise}, 2);
  bool result = true;
  try {
    if (Active()) {
      TExceptNotifyParams params = given;
      const bool forOtherThread = params.ThreadId != 0 && params.ThreadId != GetCurrentThreadId();
      if (!forOtherThread) {
        params.ThreadId = GetCurrentThreadId();
        // A fault in the runtime's last-chance filter: its record, for the minidump.
        const EXCEPTION_POINTERS* fault = rtl::CurrentExceptionPointers();
        if (!fromRaise && fault && fault->ExceptionRecord &&
            fault->ExceptionRecord->ExceptionAddress == address)
          params.FaultRecord = fault->ExceptionRecord;
        params.ActiveControlClass = report::GetFocusedControlClass();
        params.ActiveControlText = report::GetFocusedControlText();
      }
      // A worker could not start while this thread holds the loader lock: report in place.
      const bool inLoaderLock =
          rtl::HoldsLoaderLock() ||
          (rtl::IsLibrary() && (rtl::InUnitInitialization() || rtl::InUnitFinalization()));
      // A thread near the end of its stack (a stack overflow) has the steps run by a worker as
      // well: the walk, the report and the log would overflow it again.
      if (!IsRunningInIDE() && !forOtherThread && !inLoaderLock &&
          (GetCurrentThreadId() == capture::MainThreadId.load() || StackNearlyExhausted())) {
        // The standing worker, or one made for this notification: created suspended so that
        // its ID is known before it can raise anything.
        TExceptionThread* worker = g_standing.exchange(nullptr);
        if (worker && WaitForSingleObject(worker->Handle(), 0) != WAIT_TIMEOUT) {
          delete worker;  // ended while it waited: this notification makes its own
          worker = nullptr;
        }
        const bool standing = worker != nullptr;
        try {
          if (!worker) worker = new TExceptionThread(object, address, fromRaise, params);
        } catch (...) {
          worker = nullptr;
        }
        if (worker && worker->Handle()) {
          capture::WorkerThreadId.store(worker->ThreadID());
          StepClock().CallsOut.store(0);
          StepClock().LastStepTick.store(GetTickCount());
          if (standing) {
            worker->Give(object, address, fromRaise, params);
          } else {
            worker->Resume();
          }
          bool abandoned = false;
          result = WaitForWorker(*worker, abandoned);
          if (abandoned) {
            // Left alone; it ends at its next step.
          } else if (standing) {
            PutBackStandingWorker(worker);
          } else {
            delete worker;
          }
          RepostQuit();
        } else {
          // No thread could be had: the steps run here rather than the report being lost.
          delete worker;
          Trace("ExceptNotify: no worker, the steps run on the faulting thread", {}, 0);
          result = InternalExceptNotify(object, address, fromRaise, params);
        }
      } else {
        result = InternalExceptNotify(object, address, fromRaise, params);
      }
      EndOfNotification();
      MakeStandingWorker();  // in place of one that died or was given up
    }
  } catch (...) {
    // Only the worker's creation can get here.
    ReportInternalBug("ExceptNotify");
    capture::WorkerThreadId.store(0);
    State().CurrentExceptionRecord = nullptr;
    result = true;
  }
  Trace("ExceptNotify=", {result}, -2);
  return result;
}

void CallOnExceptionThread(const std::function<void()>& procedure) {
  TVantorExceptionRecord* record = State().CurrentExceptionRecord;
  const DWORD self = GetCurrentThreadId();
  if (record && self == capture::WorkerThreadId.load() && record->ThreadId != self) {
    {
      std::lock_guard<std::mutex> lock(g_pendingLock);
      g_pendingCall = &procedure;
    }
    if (CallLeft()) SetEvent(CallLeft());
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(g_pendingLock);
        if (!g_pendingCall) break;
      }
      if (CallDone()) {
        WaitForSingleObject(CallDone(), 50);
      } else {
        Sleep(10);
      }
    }
  } else {
    try {
      procedure();
    } catch (...) {
      Trace("CallOnExceptionThread: the call raised", {}, 0);
    }
  }
  if (record) publishing::PublishExceptionText(record->ClassName, record->Message);
}

}  // namespace vl::pipeline
