#include "capture/interception.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "capture/call_stack.h"
#include "capture/capture_state.h"
#include "capture/process_memory.h"
#include "capture/raise_state.h"
#include "core/trace.h"
#include "publishing/published_data.h"
#include "publishing/safecalls_list.h"
#include "runtime/exceptions.h"
#include "runtime/system.h"

extern "C" std::terminate_handler __real__ZSt13set_terminatePFvvE(std::terminate_handler) noexcept;

namespace vl::capture {

namespace {

rtl::TExceptProc g_previousExceptProc = nullptr;
rtl::TExceptObjProc g_previousExceptObjProc = nullptr;
rtl::TInitProc g_previousInitProc = nullptr;
rtl::TSafeCallErrorProc g_savedSafeCallError = nullptr;
bool g_safeCallHooked = false;
bool g_procsInstalled = false;

std::string UpperCase(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// Per-thread: the object of the last exception notified (or found unhandled) on this thread.
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
  const TThreadRaiseState& state = CurrentRaiseState();
  if (!state.RaisedInSafeCallCheck) return false;
  const std::string name =
      state.ThrownType ? ThrownClassName(TThrownObject{state.ThrownObject, state.ThrownType})
                       : rtl::ExceptionClassName(object);
  return UpperCase(name) == "EOLEEXCEPTION";
}

void Publish(std::exception_ptr object, const TThrownObject* thrown) {
  if (thrown) {
    publishing::PublishExceptionText(ThrownClassName(*thrown), ThrownMessageView(*thrown));
  } else if (object) {
    publishing::PublishExceptionText(rtl::ExceptionClassName(object),
                                     rtl::ExceptionMessage(object));
  } else {
    publishing::PublishExceptionText("Unknown exception type.", "Unknown error message.");
  }
}

// Notifies an exception while this thread holds the busy flag: publishes it, keeps it as the last
// exception only while the notification runs, and lets no raise of the notification out.
void NotifyHeld(const std::exception_ptr& object, void* address, bool fromRaise,
                const TThrownObject* thrown) {
  SetLastException(object, address, fromRaise);
  Publish(object, thrown);
  try {
    CallExceptNotify(object, address, fromRaise, nullptr, 0, 0);
  } catch (...) {
    Trace("the notification raised", {}, 0);
  }
  ClearLastException();
}

}  // namespace

namespace {

// The raise hooks have reported an escaping exception already; nothing is shown. One they never
// saw on this thread (no raise hook could be installed, or it was raised where none is) is
// reported here, without registers, rather than lost.
void ReportIfUnseen(const std::exception_ptr& object, void* address) {
  const void* escaping = ThrownObjectOfPointer(object).Object;
  if (!escaping || escaping == t_seenObject || IsAbort(object) || !CatchingEnabled.load() ||
      IsThreadIgnored(GetCurrentThreadId()) || !TakeHandling()) {
    return;
  }
  try {
    RecordUnseen(object, address);
    TLastException last = LastException();
    CallExceptNotify(last.Object, last.Address, last.FromRaise, nullptr, 0, 0);
  } catch (...) {
    Trace("ReportIfUnseen: the notification raised", {}, 0);
  }
  ClearLastException();
  ReleaseHandling();
}

std::terminate_handler g_previousTerminate = nullptr;

// The thread that claimed the process's end: one end is reported once, whichever ways it passes
// (a pure virtual call ends in terminate, which ends in abort).
std::atomic<DWORD> g_endingThread{0};

// A terminate handler's caller: the runtime's std::terminate, a few bytes long.
constexpr uintptr_t TerminateLength = 64;

}  // namespace

bool ClaimEnding() {
  DWORD none = 0;
  return g_endingThread.compare_exchange_strong(none, GetCurrentThreadId());
}

void ReleaseEnding() {
  DWORD self = GetCurrentThreadId();
  g_endingThread.compare_exchange_strong(self, 0);
}

__attribute__((noinline)) void ReportEnding(const std::exception_ptr& object, uintptr_t low,
                                            uintptr_t high) {
  if (!CaptureInstalled.load() || !CatchingEnabled.load() ||
      IsThreadIgnored(GetCurrentThreadId()) || !ClaimEnding()) {
    return;
  }
  // The report starts at the caller of the routine that ends the program: the first return
  // address outside it above one inside it, else this frame's caller.
  const auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  uintptr_t stackLow = 0, stackHigh = 0;
  CurrentStackBounds(stackLow, stackHigh);
  uintptr_t callSite = 0;
  uintptr_t slot = CallerSlot(here, stackHigh, low, high, callSite);
  if (slot == 0) {
    slot = here;
    callSite = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
  }
  if (!TakeHandling()) return;
  TThreadRaiseState& state = CurrentRaiseState();
  state.InCapture = true;
  state.ThrownObject = nullptr;
  state.ThrownType = nullptr;
  state.HandledKnown = false;
  state.Context.ContextFlags = 0;
  state.StackPointer = slot + sizeof(void*);
  void* const address = reinterpret_cast<void*>(callSite);
  state.RaiseAddress = address;
  t_seenObject = nullptr;
  NotifyHeld(object, address, false, nullptr);
  ResetRaiseState(state);
  state.InCapture = false;
  ReleaseHandling();
}

namespace {

// The C++ runtime's own handler (which prints and aborts), also where the runtime is a DLL and
// this module only knows its import stub.
bool IsRuntimeDefault(std::terminate_handler handler) {
  if (handler == &__gnu_cxx::__verbose_terminate_handler) return true;
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<const char*>(handler), &module)) {
    return false;
  }
  return reinterpret_cast<void*>(
             GetProcAddress(module, "_ZN9__gnu_cxx27__verbose_terminate_handlerEv")) ==
         reinterpret_cast<void*>(handler);
}

// std::terminate with an active exception: one that escaped main, a noexcept function or a
// thread, reported at its raise (or here, when the raise hooks never saw it). An exception that
// escaped the main thread's stack ends the program as under the runtime's main block, with exit
// code 1; otherwise the program ends as the C++ runtime ends it. Without an active exception
// (the program called std::terminate) an ETerminate is reported from the caller. The program's
// own handler, set before the start or after it, runs after the report.
[[noreturn]] void HookedTerminate() {
  const std::exception_ptr current = std::current_exception();
  if (current) {
    ClaimEnding();  // reported at its raise: the abort that follows stays silent
    if (CaptureInstalled.load()) ReportIfUnseen(current, rtl::RaiseAddress());
  } else {
    const auto terminate = reinterpret_cast<uintptr_t>(&std::terminate);
    ReportEnding(std::make_exception_ptr(
                     ETerminate("The program was terminated without an active exception")),
                 terminate, terminate + TerminateLength);
  }
  const std::terminate_handler previous = g_previousTerminate;
  if (previous && !IsRuntimeDefault(previous)) previous();
  const TThreadRaiseState& state = CurrentRaiseState();
  const bool escapedMain =
      current && GetCurrentThreadId() == MainThreadId.load() &&
      !(ThrownObjectOfPointer(current).Object == state.ThrownObject && state.Terminates);
  if (escapedMain) rtl::Halt(1);
  if (previous) previous();
  std::abort();
}

}  // namespace

void SetHandledKind(TThreadRaiseState& state, THandlerKind kind, bool raisedInSafeCallCheck) {
  state.HandledKind = static_cast<uint8_t>(kind);
  state.RaisedInSafeCallCheck = raisedInSafeCallCheck;
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
    if (result && state.HandledKind == static_cast<uint8_t>(THandlerKind::hkSafeCall) &&
        !PassedOnByTheCheck(object)) {
      // The boundary turns the exception into a failure code; the caller's check then reaches
      // the safecall-error procedure, which must stay silent: reported here, once.
      result = false;
      if (uint8_t* flag = publishing::SafeCallsFlag()) *flag = 1;
    }
  }
  Trace("IsExceptionHandled=", {result}, -2);
  return result;
}

void GoNotify(std::exception_ptr object, void* address, bool fromRaise,
              const TThrownObject* thrown) {
  const DWORD lastError = GetLastError();
  Trace("GoNotify", {reinterpret_cast<uintptr_t>(address), fromRaise}, 2);
  CurrentRaiseState().RaiseAddress = address;
  const bool abort = thrown ? IsAbort(*thrown) : IsAbort(object);
  // A raise that the program will handle is left alone: no owning reference that would outlive
  // its catch, nothing published, and no wait for another thread's report.
  if (!abort && CatchingEnabled.load() && !IsThreadIgnored(GetCurrentThreadId()) &&
      !IsExceptionHandled(object, address)) {
    t_seenObject = thrown ? thrown->Object : ThrownObjectOfPointer(object).Object;
    // Under the busy flag: one thread at a time writes the published record.
    if (TakeHandling()) {
      NotifyHeld(object, address, fromRaise, thrown);
      ReleaseHandling();
    }
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
  ReportIfUnseen(object, address);
  if (GetCurrentThreadId() == MainThreadId.load()) rtl::Halt(1);
  // A thread that ends inside its own notification (a nested fault) gives the flag back.
  if (HandlingThreadId() == GetCurrentThreadId()) ReleaseHandling();
  ExitThread(1);
}

void HookedSafeCallError(HRESULT errorCode, void* address) {
  Trace("HookedSafeCallError",
        {static_cast<uint32_t>(errorCode), reinterpret_cast<uintptr_t>(address)}, 0);
  if (CaptureInstalled.load()) {
    uint8_t* flag = publishing::SafeCallsFlag();
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
  // Only the exception being handled is reported: outside any catch there is nothing to report.
  const std::exception_ptr current = std::current_exception();
  TThreadRaiseState& state = CurrentRaiseState();
  const TThrownObject thrown = ThrownObjectOfPointer(current);
  const void* object = thrown.Object;
  // Its raise seen by the raise hooks on this thread: the registers and address of that raise
  // are still the thread's raise state (a rethrow does not replace them). The type is compared
  // too: an unseen exception may lie where an earlier one did.
  const bool seen = object && object == state.ThrownObject && thrown.Type == state.ThrownType;
  const bool goOn = current && !IsAbort(current) && CaptureInstalled.load() &&
                    CatchingEnabled.load() && !IsThreadIgnored(GetCurrentThreadId());
  if (goOn) {
    result = false;
    if (TakeHandling()) {
      try {
        if (seen) {
          t_seenObject = const_cast<void*>(object);
          SetLastException(current, state.RaiseAddress, true);
          Publish(current, nullptr);
        } else {
          RecordUnseen(current, rtl::RaiseAddress());  // what the runtime has, without registers
        }
        const TLastException last = LastException();
        result = CallExceptNotify(last.Object, last.Address, last.FromRaise, nullptr, 0, 0);
      } catch (...) {
        result = false;
      }
      ClearLastException();
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
  g_previousTerminate = __real__ZSt13set_terminatePFvvE(HookedTerminate);
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
  // Only when nobody replaced it since: the program's own handler stays.
  if (std::get_terminate() == HookedTerminate) __real__ZSt13set_terminatePFvvE(g_previousTerminate);
}

std::terminate_handler SetProgramTerminate(std::terminate_handler handler) {
  if (!g_procsInstalled || std::get_terminate() != HookedTerminate)
    return __real__ZSt13set_terminatePFvvE(handler);
  // Ours stays in place and calls the program's after its report.
  const std::terminate_handler previous = g_previousTerminate;
  g_previousTerminate = handler;
  return previous;
}

}  // namespace vl::capture

// The program's std::set_terminate (the link wraps it): see SetProgramTerminate.
extern "C" std::terminate_handler __wrap__ZSt13set_terminatePFvvE(
    std::terminate_handler handler) noexcept {
  return vl::capture::SetProgramTerminate(handler);
}
