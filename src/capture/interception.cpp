#include "capture/interception.h"

#include <cstring>

#include "capture/capture_state.h"
#include "capture/raise_state.h"
#include "core/trace.h"
#include "modules/published_data.h"
#include "modules/safecalls_list.h"
#include "runtime/exceptions.h"
#include "runtime/system.h"

namespace vl::capture {

namespace {

rtl::TExceptProc g_previousExceptProc = nullptr;
rtl::TExceptObjProc g_previousExceptObjProc = nullptr;
rtl::TInitProc g_previousInitProc = nullptr;
rtl::TSafeCallErrorProc g_savedSafeCallError = nullptr;
bool g_safeCallHooked = false;
bool g_procsInstalled = false;

// Per-thread: the first handler kind of the last raise and whether the runtime's safecall check
// raised it (safecall answers need both).
thread_local THandlerKind t_handledKind = THandlerKind::hkNone;
thread_local bool t_raisedInSafeCallCheck = false;

std::string UpperCase(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// Per-thread: the object of the last exception that passed GoNotify on this thread.
thread_local void* t_seenObject = nullptr;

// Records an exception that the raise hooks did not see as the last exception and as the
// thread's raise state, without registers.
void RecordUnseen(const std::exception_ptr& object, void* address) {
  bool external = false;
  try {
    std::rethrow_exception(object);
  } catch (const EExternal&) {
    external = true;
  } catch (...) {
  }
  SetLastException(object, address, !external);
  TThreadRaiseState& state = CurrentRaiseState();
  const TThrownObject thrown = ThrownObjectOfPointer(object);
  state.ThrownObject = thrown.Object;
  state.ThrownType = thrown.Type;
  state.StackPointer = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  state.Context.ContextFlags = 0;
}

// The exception the caller's check raises: exactly the class EOleException (by its upper-case
// class name, as reports name it), raised in the check's raising routine.
bool PassedOnByTheCheck(std::exception_ptr object) {
  if (!t_raisedInSafeCallCheck) return false;
  const TThreadRaiseState& state = CurrentRaiseState();
  const std::string name =
      state.ThrownType ? ThrownClassName(TThrownObject{state.ThrownObject, state.ThrownType})
                       : rtl::ExceptionClassName(object);
  return UpperCase(name) == "EOLEEXCEPTION";
}

void Publish(std::exception_ptr object, const TThrownObject* thrown) {
  if (thrown) {
    modules::PublishExceptionText(ThrownClassName(*thrown), ThrownMessageView(*thrown));
  } else if (object) {
    modules::PublishExceptionText(rtl::ExceptionClassName(object), rtl::ExceptionMessage(object));
  } else {
    modules::PublishExceptionText("Unknown exception type.", "Unknown error message.");
  }
}

}  // namespace

void SetHandledKind(THandlerKind kind, bool raisedInSafeCallCheck) {
  t_handledKind = kind;
  t_raisedInSafeCallCheck = raisedInSafeCallCheck;
}

bool IsExceptionHandled(std::exception_ptr object, void* address) {
  Trace("IsExceptionHandled",
        {reinterpret_cast<uintptr_t>(object ? &object : nullptr),
         reinterpret_cast<uintptr_t>(address)},
        2);
  TThreadRaiseState& state = CurrentRaiseState();
  bool result = false;
  if (HostCarriesLibrary.load()) {
    result = true;  // the main program's copy sees it
  } else if (state.HandledKnown) {
    result = state.Handled;
    if (result && t_handledKind == THandlerKind::hkSafeCall && !PassedOnByTheCheck(object)) {
      // The boundary turns the exception into a failure code; the caller's check then reaches
      // the safecall-error procedure, which must stay silent: reported here, once.
      result = false;
      if (uint8_t* flag = modules::SafeCallsFlag()) *flag = 1;
    }
  }
  Trace("IsExceptionHandled=", {result}, -2);
  return result;
}

void GoNotify(std::exception_ptr object, void* address, bool fromRaise,
              const TThrownObject* thrown) {
  const DWORD lastError = GetLastError();
  Trace("GoNotify", {reinterpret_cast<uintptr_t>(address), fromRaise}, 2);
  t_seenObject = thrown ? thrown->Object : ThrownObjectOfPointer(object).Object;
  SetLastException(object, address, fromRaise);
  Publish(object, thrown);
  const bool abort = thrown ? IsAbort(*thrown) : IsAbort(object);
  if (!abort && CatchingEnabled.load() && !IsThreadIgnored(GetCurrentThreadId()) &&
      TakeHandling()) {
    try {
      if (!IsExceptionHandled(object, address)) {
        CallExceptNotify(object, address, fromRaise, nullptr, 0, 0);
      }
    } catch (...) {
      Trace("GoNotify: the notification raised", {}, 0);
    }
    ReleaseHandling();
  }
  Trace("GoNotify=", {}, -2);
  SetLastError(lastError);
}

std::exception_ptr HookedExceptionObject(EXCEPTION_RECORD* record) {
  Trace("HookedExceptionObject", {reinterpret_cast<uintptr_t>(record)}, 2);
  rtl::TExceptObjProc previous =
      g_previousExceptObjProc ? g_previousExceptObjProc : rtl::DefaultExceptObjProc;
  std::exception_ptr object = previous(record);
  if (CaptureInstalled.load() && record) {
    TThreadRaiseState& state = CurrentRaiseState();
    if (!state.InCapture) {
      state.InCapture = true;
      state.ThrownObject = nullptr;
      state.ThrownType = nullptr;
      state.HandledKnown = false;
      EXCEPTION_POINTERS* pointers = rtl::CurrentExceptionPointers();
      if (pointers && pointers->ContextRecord && pointers->ExceptionRecord == record) {
        state.Context = *pointers->ContextRecord;
        state.Context.ContextFlags = RaiseContextFlags;
#if defined(__x86_64__)
        state.StackPointer = static_cast<uintptr_t>(state.Context.Rsp);
#else
        state.StackPointer = state.Context.Esp;
#endif
      } else {
        state.Context.ContextFlags = 0;
        state.StackPointer = 0;
      }
      GoNotify(object, record->ExceptionAddress, false);
      state.InCapture = false;
    }
  }
  Trace("HookedExceptionObject=", {reinterpret_cast<uintptr_t>(object ? &object : nullptr)}, -2);
  return object;
}

void HookedExceptProc(std::exception_ptr object, void* address) {
  Trace("HookedExceptProc",
        {reinterpret_cast<uintptr_t>(object ? &object : nullptr),
         reinterpret_cast<uintptr_t>(address)},
        0);
  if (!CaptureInstalled.load()) {
    (g_previousExceptProc ? g_previousExceptProc : rtl::DefaultExceptProc)(object, address);
    return;
  }
  // The raise hooks have reported it already; nothing is shown. One they never saw on this
  // thread (no raise hook could be installed, or it was raised where none is) is reported here,
  // without registers, rather than lost.
  const void* escaping = ThrownObjectOfPointer(object).Object;
  if (escaping && escaping != t_seenObject && !IsAbort(object) && CatchingEnabled.load() &&
      !IsThreadIgnored(GetCurrentThreadId()) && TakeHandling()) {
    try {
      RecordUnseen(object, address);
      TLastException last = LastException();
      CallExceptNotify(last.Object, last.Address, last.FromRaise, nullptr, 0, 0);
    } catch (...) {
      Trace("HookedExceptProc: the notification raised", {}, 0);
    }
    ReleaseHandling();
  }
  if (GetCurrentThreadId() == MainThreadId.load()) rtl::Halt(1);
  ExitThread(1);
}

void HookedSafeCallError(HRESULT errorCode, void* address) {
  Trace("HookedSafeCallError",
        {static_cast<uint32_t>(errorCode), reinterpret_cast<uintptr_t>(address)}, 0);
  if (CaptureInstalled.load()) {
    uint8_t* flag = modules::SafeCallsFlag();
    if (flag && *flag == 1) {
      *flag = 0;
      throw EAbort();  // the failure was reported at its raise: end the caller silently
    }
  }
  if (g_savedSafeCallError) g_savedSafeCallError(errorCode, address);
}

void HookedInitProc() {
  if (g_previousInitProc) g_previousInitProc();
  if (!CaptureInstalled.load() || g_safeCallHooked) return;
  // Wraps whatever the framework's own initialisation installed.
  g_savedSafeCallError = rtl::SafeCallErrorProc;
  rtl::SafeCallErrorProc = HookedSafeCallError;
  g_safeCallHooked = true;
}

bool ExceptionManager() {
  Trace("ExceptionManager", {}, 2);
  bool result = true;
  const std::exception_ptr current = std::current_exception();
  TLastException last = LastException();
  // The exception being handled is the one to report. The last exception the raise hooks
  // recorded is that one only when it is the same object: a stale record of an earlier, caught
  // exception (or one the hooks never saw) must not be reported in its place. Outside any catch
  // the recorded one is all there is.
  const bool seen = last.Object && (!current || current == last.Object);
  const std::exception_ptr subject = seen ? last.Object : current;
  const bool goOn = subject && !IsAbort(subject) && CaptureInstalled.load() &&
                    CatchingEnabled.load() && !IsThreadIgnored(GetCurrentThreadId());
  if (goOn) {
    result = false;
    if (TakeHandling()) {
      try {
        if (!seen) {
          // What the runtime has, without registers.
          RecordUnseen(current, rtl::RaiseAddress());
          last = LastException();
        }
        result = CallExceptNotify(last.Object, last.Address, last.FromRaise, nullptr, 0, 0);
      } catch (...) {
        result = false;
      }
      ReleaseHandling();
    }
  }
  Trace("ExceptionManager=", {result}, -2);
  return result;
}

void InstallProcedureHooks() {
  if (g_procsInstalled) return;
  g_previousExceptProc = rtl::ExceptProc;
  g_previousExceptObjProc = rtl::ExceptObjProc;
  g_previousInitProc = rtl::InitProc;
  rtl::ExceptProc = HookedExceptProc;
  rtl::ExceptObjProc = HookedExceptionObject;
  rtl::InitProc = HookedInitProc;
  g_procsInstalled = true;
}

void RestoreProcedureHooks() {
  if (!g_procsInstalled) return;
  rtl::ExceptProc = g_previousExceptProc;
  rtl::ExceptObjProc = g_previousExceptObjProc;
  rtl::InitProc = g_previousInitProc;
  if (g_safeCallHooked && rtl::SafeCallErrorProc == HookedSafeCallError) {
    rtl::SafeCallErrorProc = g_savedSafeCallError;
  }
  g_safeCallHooked = false;
  g_procsInstalled = false;
}

}  // namespace vl::capture
