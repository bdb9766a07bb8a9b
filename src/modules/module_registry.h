// The process-wide module list: records created on demand when a handle or an address is first
// met, and all loaded modules enumerated when a report lists them (again only after the loader
// notified a load or an unload, where the system notifies). The list exists only while the
// crash reporter is active; it takes no lock of its own.
#pragma once

#include <windows.h>

#include "modules/module_info.h"

namespace vl::modules {

// The list, or null when none exists.
TVantorModulesList* ModulesList();
void CreateModulesList();
void FreeModulesList();

// The record for Handle, registered in full on first use (a light record made by
// RefreshModulesList is completed in place, once); null without a handle, without a list, or
// when the module cannot be registered. A record lives, at the same address, until its module
// leaves the list (RefreshModulesList after an unload, or FreeModulesList).
TVantorModuleInfo* GetModuleInfo(HMODULE handle);
// The same for the module whose memory region holds Address.
TVantorModuleInfo* GetModuleInfoByAddress(const void* address);

// Creates Handle's record and appends it to the list; false when the platform reports no file
// name for the handle (or no list exists). During RefreshModulesList the record is light
// (Complete false: ModuleType 0, no functions, no data block).
bool RegisterModule(HMODULE handle);

// Drops the records of unloaded modules, registers (lightly) every loaded module not yet known,
// and sorts the list by handle. Does nothing when no module was loaded or unloaded since the
// last refresh (known from the loader's notification; without it, every call enumerates).
void RefreshModulesList();

}  // namespace vl::modules
