// The interception's decisions and the runtime's procedure variables it takes over: GoNotify
// (record, drop, serialise, handled test, notify), IsExceptionHandled, the exception-object hook
// for operating-system exceptions, the unhandled-exception and safecall-error procedures, and
// ExceptionManager for the host-framework handlers.
#pragma once

#include <windows.h>

#include <exception>

#include "capture/thrower_walk.h"
#include "capture/thrown_object.h"

namespace vl::capture {

// Entry from the raise hooks. Thrown: the raised C++ object when known (class and message are
// then read without rethrowing). Records the last exception and publishes it (every exception),
// drops EAbort, ignored threads and a switched-off capture, takes the busy flag (not on the
// thread already handling, nor on the pipeline's worker), and notifies when unhandled. Keeps the
// thread's last-error value.
void GoNotify(std::exception_ptr object, void* address, bool fromRaise,
              const TThrownObject* thrown = nullptr);

// Will a handler of the program catch the exception? For a raise, the raise hook's walk has
// answered already; an operating-system exception that reaches the runtime's top-level filter
// is never handled (no C++ handler catches a fault). The first handler kind of the last raise
// on this thread is kept in its raise state by SetHandledKind, with whether the raise came from the
// runtime's safecall check (rtl::RaiseSafeCallError): an EOleException raised there under a
// safecall boundary only passes its callee's failure code on, so it counts as handled and sets no
// flag; every other exception that a safecall boundary catches is reported at its raise and sets
// the safecall flag, so that the caller's check later ends silently.
bool IsExceptionHandled(std::exception_ptr object, void* address);
void SetHandledKind(TThreadRaiseState& state, THandlerKind kind,
                    bool raisedInSafeCallCheck = false);

// The ways a program ends without a raise of its own (termination.h and the terminate handler).
// ClaimEnding: true for the first thread to claim the process's end (its end is reported once,
// whatever routines it passes afterwards); ReleaseEnding gives the claim back (the program went
// on after all). ReportEnding claims the end and reports Object from the caller of the routine
// or module at [Low, High) (Low == High: the caller returning to Low): the call stack starts
// there and the call site is the exception's address. Nothing when the capture is off, the thread
// is ignored or the end was claimed.
bool ClaimEnding();
void ReleaseEnding();
void ReportEnding(const std::exception_ptr& object, uintptr_t low, uintptr_t high);

// The program's std::set_terminate, while our handler is in place: the program's handler becomes
// the one ours calls after its report, and the one it replaced is returned.
std::terminate_handler SetProgramTerminate(std::terminate_handler handler);

// Runtime procedure replacements.
std::exception_ptr HookedExceptionObject(EXCEPTION_RECORD* record);
void HookedExceptProc(std::exception_ptr object, void* address);
void HookedSafeCallError(HRESULT errorCode, void* address);
void HookedInitProc();

// Called from inside a host framework's exception handler: true when the framework's own handler
// is to run as well.
bool ExceptionManager();

// Start-up and shut-down: saves the runtime's unhandled-exception procedure, exception-object
// hook and application-initialisation procedure and puts the hooks in; gives all four back
// (the safecall-error procedure too, when the hook put one in).
void InstallProcedureHooks();
void RestoreProcedureHooks();

}  // namespace vl::capture
