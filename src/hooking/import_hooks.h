// Import patching: the import-address-table slots through which a module calls a routine of
// another module are rewritten to hold a replacement.
//
// Every slot of the module's import directory and delay-load import directory that holds the
// routine's address is rewritten, which covers calls made straight through the slot
// (FF 15 [slot]) as well as the module's import jump stubs (FF 25 [slot]). Not reached: routine
// addresses the module took before the patch, addresses it gets from GetProcAddress, and calls
// from other modules, and a slot value that code already loaded: the compiler treats an import
// slot as constant and may keep its value in a register for the rest of a function, so a routine
// that is running while its module is patched may still call the old address.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace vl::hooking {

// Rewrites every import slot of Module that holds OldProc to hold Replacement. Raises EProcNull
// for a null OldProc, ESharedArea for a module in the shared area of the Windows 9x family,
// EHookingError for a null Replacement; when no slot was rewritten returns null if Silent, else
// raises EHookingError. Otherwise returns OldProc and, unless Restoring, records the redirection
// for shut-down. Name is the routine's display name for the messages.
void* HookImport(HMODULE module, void* oldProc, void* replacement, bool restoring, bool silent,
                 const std::string& name);

// OldProc := the address of ProcName exported by the loaded module ExporterModule (null when
// either is missing; set even when nothing is patched). Then HookImport in each loaded module
// of ModuleNames, named ExporterModule + "." + ProcName. True when at least one module was
// patched.
bool HookImportInModules(const std::vector<std::string>& moduleNames,
                         const std::string& exporterModule, bool silent, void*& oldProc,
                         void* replacement, const std::string& procName);

// Puts every recorded redirection back, the last first (shut-down). Modules that have been
// unloaded and slots that no longer hold the replacement are left alone.
void UndoAllImportHooks();

// Number of recorded redirections.
size_t ImportHookCount();

}  // namespace vl::hooking
