// The ways a program ends without a raise of its own, each reported under its own class from the
// caller of the routine that ends it:
//   abort() and raise(SIGABRT)   EAbnormalTermination  the C runtime's raise is code-patched
//   std::terminate, no exception ETerminate            the capture's terminate handler
//   a pure virtual call          EPureVirtualCall      the link wraps __cxa_pure_virtual; the C
//                                                      runtime's purecall handler where it has one
//   an invalid CRT parameter     EInvalidParameter     the C runtime's handler where it has one
// Afterwards the program ends as it would have without the reporter; the program's own handlers
// (signal, std::set_terminate, _set_purecall_handler, _set_invalid_parameter_handler), set before
// or after the start, run after the report.
#pragma once

#include <cstdint>

namespace vl::capture {

// Installs what the running C runtime allows; each part that fails is traced and left out.
void InstallEndingHooks();
// Gives the runtime's handlers back (the code patches go with the hooking engine's shut-down).
void RemoveEndingHooks();

// The wrapped __cxa_pure_virtual: an EPureVirtualCall from the caller that returns to
// ReturnAddress (see ReportEnding).
void ReportPureVirtualCall(uintptr_t returnAddress, uintptr_t sameAddress);

}  // namespace vl::capture
