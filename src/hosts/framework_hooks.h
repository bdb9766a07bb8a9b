// The host frameworks' last-chance handlers, redirected so that the crash reporter reports an
// exception before the framework handles it. Each replacement asks Seams().ExceptionManager (the
// capture's ExceptionManager: reports the exception being handled on this thread, true = let
// the framework's own handling run) and calls the routine it replaced only on true. A
// replacement whose protected block raises puts its routine back for good and passes the
// exception on, so a fault in the framework's own handler cannot loop through the reporter.
//
// Handlers, looked up by qualified name in the debug information (or by export in an already
// loaded package), in this order:
//   Forms.TApplication.HandleException          -> Hooked_GUIHandleException
//   CGIApp.TCGIApplication.CGIHandleException   -> Hooked_CGIHandleServerException
//   ISAPIApp.TISAPIApplication.ISAPIHandleException -> Hooked_ISAPIHandleServerException
//   SvcMgr.TService.LogMessage                  -> Hooked_NTServiceLogMessage
// A handler that is not there is skipped (traced). The second GUI framework, IntraWeb and Indy
// have no counterpart here.
#pragma once

#include <string>

#include "hosts/hosts_seams.h"

namespace vl::hosts {

// Redirects every handler found; returns how many were redirected.
int InstallFrameworkHooks();
// Puts every redirected handler back for good (a thread may still be inside a trampoline, so
// the trampolines stay).
void RemoveFrameworkHooks();

}  // namespace vl::hosts
