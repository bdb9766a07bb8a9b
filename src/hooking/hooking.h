// The API hooking engine: redirects routines of the running process by code patching
// (procedure_hooks.h) and by import patching (import_hooks.h), and undoes everything at
// shut-down.
//
// Shut-down runs as the finalisation of the engine's unit (order UnitOrderHooking, so after the
// crash reporter's own units, which may still hold hooks), and can be called explicitly as
// ShutdownHooking by code that does not end through the runtime's halt.
#pragma once

#include "hooking/code_writer.h"
#include "hooking/hook_errors.h"
#include "hooking/import_hooks.h"
#include "hooking/procedure_hooks.h"
#include "runtime/system.h"

namespace vl::hooking {

constexpr int UnitOrderHooking = rtl::UnitOrderCrashReporter - 10;

// Unhooks every routine still hooked, then puts back every redirected import slot. The
// trampolines' memory is kept (other threads may still run in it). Failures are swallowed:
// shut-down must not take the program down; a routine whose bytes cannot be written back keeps
// its hook. The engine stays usable afterwards.
void ShutdownHooking();

}  // namespace vl::hooking
