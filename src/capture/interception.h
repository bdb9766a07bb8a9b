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
// on this thread is kept by SetHandledKind, with whether the raise came from the runtime's
// safecall check (rtl::RaiseSafeCallError): an EOleException raised there under a safecall
// boundary only passes its callee's failure code on, so it counts as handled and sets no flag;
// every other exception that a safecall boundary catches is reported at its raise and sets the
// safecall flag, so that the caller's check later ends silently.
bool IsExceptionHandled(std::exception_ptr object, void* address);
void SetHandledKind(THandlerKind kind, bool raisedInSafeCallCheck = false);

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
