#include "modules/activation.h"

#include "modules/data_block_loader.h"
#include "modules/module_registry.h"
#include "modules/module_seams.h"
#include "platform/module_file.h"
#include "platform/restart.h"
#include "publishing/published_data.h"
#include "runtime/exceptions.h"

namespace vl::modules {

namespace {

bool g_active = false;

bool CarriesBlock(HMODULE module) {
  if (IsVantorLogModule(module)) return true;
  try {
    return IsVantorLogModule_Old(module);
  } catch (const std::exception& e) {
    TraceLine(std::string("IsVantorLogModule_Old: ") + e.what());
    return false;
  }
}

}  // namespace

TActivation ActivateModules() {
  TActivation result;
  platform::RecordStartFolder();
  publishing::CreateOwnVirtualFiles();
  CreateModulesList();

  HMODULE self = platform::CrashReporterModule();
  TVantorModuleInfo* info = nullptr;
  result.DevelopmentEnvironment = Seams().IsRunningInIDE && Seams().IsRunningInIDE();
  if (!result.DevelopmentEnvironment) info = GetModuleInfo(self);
  if (!result.DevelopmentEnvironment && (!info || !info->DebugInfo)) {
    result.Reason = !info ? "the module is not registered" : LastLoadFailure();
    TraceLine("VantorLog inactive: " + result.Reason);
    FreeModulesList();
    g_active = false;
    return result;
  }
  g_active = true;
  result.Active = true;
  HMODULE exe = GetModuleHandleA(nullptr);
  if (self != exe) result.MainExecutableHasBlock = CarriesBlock(exe);
  return result;
}

bool IsVantorLogActive() { return g_active; }

void DeactivateModules() {
  if (!g_active) return;
  FreeModulesList();
  publishing::DeleteOwnVirtualFiles();
  g_active = false;
}

void CheckActiveForCurrentOptions() {
  if (!g_active)
    throw EAssertionFailed(
        "Cannot use 'CurrentVantorLogOptions' function without VantorLog activate.");
}

}  // namespace vl::modules
