#include "modules/module_seams.h"

#include "core/byte_stream.h"
#include "core/internal_errors.h"
#include "core/module_options.h"
#include "core/trace.h"
#include "debuginfo/functions_list.h"
#include "debuginfo/functions_list_builder.h"
#include "debuginfo/module_seam.h"
#include "hooking/procedure_hooks.h"
#include "modules/module_info.h"
#include "modules/module_registry.h"
#include "publishing/published_data.h"

namespace vl::modules {

namespace {

TVantorModuleOptionsEx* CreateCoreOptions(const std::string& moduleName) {
  return new TVantorModuleOptionsEx(moduleName, true);
}

void FreeCoreOptions(TVantorModuleOptionsEx* options) { delete options; }

size_t LoadCoreOptions(TVantorModuleOptionsEx* options, const uint8_t* data, size_t size,
                       uint16_t version) {
  core::TMemoryStream stream(data, size);
  options->LoadFromStream(stream, version);
  return stream.Position();
}

size_t LoadCoreOptionsExtension(TVantorModuleOptionsEx* options, const uint8_t* data, size_t size) {
  return options->LoadExtension(data, size);
}

void AssignCoreOptions(TVantorModuleOptionsEx* target, const TVantorModuleOptionsEx* source) {
  target->Assign(source);
}

void CoreTrace(const std::string& line) { Trace(line); }

// The options' change handler publishes "flag byte 1 + stream" for the other modules.
void PublishOptionsFile(const std::vector<uint8_t>& data) {
  if (data.size() > 1 && data[0] == 1)
    publishing::PublishModuleOptions(data.data() + 1, data.size() - 1);
}

TVantorFunctionsList* BuildExportedFunctions(HMODULE module) {
  auto* list = new TVantorFunctionsList();
  BuildFunctionsList(reinterpret_cast<uintptr_t>(module), *list);
  return list;
}

void FreeExportedFunctions(TVantorFunctionsList* list) { delete list; }

// The address lookups of the debug information see modules through this view of the registry.
bool FindDebugModule(uintptr_t address, TDebugModule& module) {
  TVantorModuleInfo* info = GetModuleInfoByAddress(reinterpret_cast<const void*>(address));
  if (!info) return false;
  module.Info = info;
  module.Base = reinterpret_cast<uintptr_t>(info->Handle);
  module.DataVersion = info->DataVersion;
  module.DebugInfo = info->DebugInfo ? info->DebugInfo->data() : nullptr;
  module.DebugInfoSize = info->DebugInfo ? info->DebugInfo->size() : 0;
  if (module.DebugInfo) {
    // Made once; two threads that make it at once keep the first one made.
    const TUnitIndex* units = info->DebugUnits.load(std::memory_order_acquire);
    if (!units) {
      const TUnitIndex* made = nullptr;
      try {
        made = new TUnitIndex(module.DebugInfo, module.DebugInfoSize, module.DataVersion);
      } catch (...) {
        made = nullptr;  // no memory: the look-up reads the headers in turn
      }
      if (made && !info->DebugUnits.compare_exchange_strong(units, made)) delete made;
      if (made && !units) units = made;
    }
    module.Units = units;
  }
  module.Functions = info->Functions;
  return true;
}

// The engine's refusal reaches the caller, which must tell "refused" from "not found".
void* RedirectWithHookingEngine(void* target, void* newProc, const std::string& traceName) {
  try {
    return hooking::HookProcedure(target, newProc, traceName);
  } catch (const std::exception& e) {
    Trace("RedirectProc failed", {traceName, std::string(e.what())});
    throw;
  }
}

TSeams MakeSeams() {
  TSeams seams;
  seams.CreateOptions = CreateCoreOptions;
  seams.FreeOptions = FreeCoreOptions;
  seams.LoadOptions = LoadCoreOptions;
  seams.LoadOptionsExtension = LoadCoreOptionsExtension;
  seams.AssignOptions = AssignCoreOptions;
  seams.Trace = CoreTrace;
  seams.IsRunningInIDE = vl::IsRunningInIDE;
  seams.BuildFunctionsList = BuildExportedFunctions;
  seams.FreeFunctionsList = FreeExportedFunctions;
  // The debug information's lookups and redirections.
  debuginfo::TSeams& lookups = debuginfo::Seams();
  lookups.ModuleFinder = FindDebugModule;
  lookups.RedirectProc = RedirectWithHookingEngine;
  lookups.RunningInIDE = vl::IsRunningInIDE;
  // Module registration is the first user of the options: connect their publishing here.
  core::Seams().PublishModuleFile = PublishOptionsFile;
  return seams;
}

}  // namespace

TSeams& Seams() {
  static TSeams seams = MakeSeams();
  return seams;
}

void TraceLine(const std::string& line) {
  if (Seams().Trace) Seams().Trace(line);
}

}  // namespace vl::modules
