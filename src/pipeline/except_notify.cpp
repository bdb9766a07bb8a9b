#include "pipeline/except_notify.h"

#include <cstring>
#include <mutex>

#include "capture/capture_state.h"
#include "capture/process_memory.h"
#include "capture/raise_state.h"
#include "core/internal_errors.h"
#include "core/module_options.h"
#include "core/trace.h"
#include "modules/activation.h"
#include "modules/published_data.h"
#include "pipeline/handlers.h"
#include "report/system_info_win.h"
#include "runtime/system.h"

namespace vl::pipeline {

namespace {

std::mutex g_pendingLock;  // PendingCallLock
const std::function<void()>* g_pendingCall = nullptr;
bool g_quitSeen = false;
WPARAM g_quitCode = 0;

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

void FilterMessages() {
  MSG msg;
  for (int i = 0; i < 11 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
    switch (msg.message) {
      case WM_SETREDRAW:
      case WM_PAINT:
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
  if (!g_quitSeen) return;
  g_quitSeen = false;
  PostQuitMessage(static_cast<int>(g_quitCode));
}

TExceptionThread::TExceptionThread(std::exception_ptr object, void* address, bool fromRaise,
                                   const TExceptNotifyParams& params)
    : Classes::TThread(true),
      FObject(std::move(object)),
      FAddress(address),
      FFromRaise(fromRaise),
      FParams(params) {
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
}

void TExceptionThread::Execute() {
  Trace("TExceptionThread.Execute", {}, 0);
  try {
    NotifyResult = InternalExceptNotify(FObject, FAddress, FFromRaise, FParams);
  } catch (...) {
    NotifyResult = false;
  }
  Running = false;
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
        params.ActiveControlClass = report::GetFocusedControlClass();
        params.ActiveControlText = report::GetFocusedControlText();
      }
      const bool inLoaderLock =
          rtl::IsLibrary() && (rtl::InUnitInitialization() || rtl::InUnitFinalization());
      if (!IsRunningInIDE() && !forOtherThread &&
          GetCurrentThreadId() == capture::MainThreadId.load() && !inLoaderLock) {
        // Created suspended so that its ID is known before it can raise anything.
        auto* worker = new TExceptionThread(object, address, fromRaise, params);
        capture::WorkerThreadId.store(worker->ThreadID());
        worker->Resume();
        while (worker->Running) {
          FilterMessages();
          RunPendingCall();
          Sleep(10);
        }
        worker->WaitFor();
        result = worker->NotifyResult;
        delete worker;
        RepostQuit();
      } else {
        result = InternalExceptNotify(object, address, fromRaise, params);
      }
      EndOfNotification();
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
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(g_pendingLock);
        if (!g_pendingCall) break;
      }
      Sleep(10);
    }
  } else {
    try {
      procedure();
    } catch (...) {
      Trace("CallOnExceptionThread: the call raised", {}, 0);
    }
  }
  if (record) modules::PublishExceptionText(record->ClassName, record->Message);
}

}  // namespace vl::pipeline
