// Resolving code addresses to module, unit, class, procedure and line, and the reverse: the
// address of a routine from its full name.
#pragma once

#include <cstdint>
#include <string>

#include "debuginfo/debug_info.h"
#include "debuginfo/functions_list.h"

namespace vl {

// The debug-information step alone: true, with Info filled at detail 4, when the debug
// information of the module holding Address covers it.
bool GetDebugInfoFromModule(uintptr_t address, TVantorDebugInfo& info);

// Everything known about Address: from the debug information, else the module and, through its
// exported functions, often a procedure name.
TVantorDebugInfo GetSourceInfo(uintptr_t address);

// Unit, class and procedure from the name of the exported function Function (detail 2 or 3);
// leaves Info as it is when the name tells nothing.
void ApplyExportName(const TVantorFunctionInfo& function, TVantorDebugInfo& info);

// The address of a routine of the crash reporter's own module from its full name
// ("Unit.Class.Proc"), found in the module's name index; 0 when it is not there.
uintptr_t FindProcAddress(const std::string& fullName);

// Finds FullName and, when NewProc is given, redirects it with the hooking engine. Gives the
// engine's result (the previous entry), the address when NewProc is null, or null when the name
// is not found. When the engine refuses the routine, its error is raised to the caller.
void* HookProcByName(const std::string& fullName, void* newProc);

}  // namespace vl
