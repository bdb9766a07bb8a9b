// What the address lookups need from the module registry and from the hooking engine. Both are
// reached through the layer's seams (debuginfo::Seams()) that their owners set at start-up, so
// the lookups do not depend on how modules are registered or how routines are redirected.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "debuginfo/debug_info.h"
#include "debuginfo/functions_list.h"
#include "debuginfo/source_lookup.h"

namespace vl {

// One module as the lookups see it.
struct TDebugModule {
  TVantorModuleInfo* Info = nullptr;  // handed on in TVantorDebugInfo::ModuleInfo
  uintptr_t Base = 0;                 // the module's real load address
  uint16_t DataVersion = 0;
  const uint8_t* DebugInfo = nullptr;  // null when the module has no debug information
  size_t DebugInfoSize = 0;
  // The unit index of DebugInfo, or null (the look-up then reads the unit headers in turn).
  const TUnitIndex* Units = nullptr;
  const TVantorFunctionsList* Functions = nullptr;  // null or empty when nothing is exported
};

// Finds the module whose committed memory holds Address (the region's allocation base),
// registering it when it is new. False when no module holds the address.
using TModuleFinder = bool (*)(uintptr_t address, TDebugModule& module);

// Redirects the routine at Target to NewProc; TraceName names it in the trace. Gives the
// routine's previous entry; when the engine refuses, its error (EHookError and descendants) is
// raised to the caller.
using TRedirectProc = void* (*)(void* target, void* newProc, const std::string& traceName);

namespace debuginfo {

// What the lookups need from the layers above them: procedure pointers, each null until its
// owner sets it (see each).
struct TSeams {
  // Set by the module registry on its first use; null: no module is known and every lookup
  // finds nothing.
  TModuleFinder ModuleFinder = nullptr;
  // Set with ModuleFinder (the hooking engine); null: nothing can be redirected.
  TRedirectProc RedirectProc = nullptr;
  // Set with ModuleFinder (the internal trace); true while the program runs inside the
  // development environment, where exported routines are given size 1. Null: not inside it.
  bool (*RunningInIDE)() = nullptr;
};
TSeams& Seams();

}  // namespace debuginfo

}  // namespace vl
