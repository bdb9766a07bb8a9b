// freeze_program's "library" mode loads this on its main thread: a library carrying the freeze
// watchdog, whose notification sets the event "vl_freeze_notifying" and then takes 10 s.
#include "core/module_options.h"
#include "hosts/freeze_watchdog.h"
#include "hosts/main_thread.h"
#include "runtime/system.h"

using namespace vl;

namespace {
const TVantorModuleOptions* g_options = nullptr;
void Init() {
  hosts::NoteMainThread();
  auto* options = new TVantorModuleOptions("freeze_library.dll", false);
  options->SetWatchdogOn(true);
  options->SetWatchdogSeconds(1);
  g_options = options;
  hosts::Seams().CurrentOptions = [] { return g_options; };
  hosts::Seams().NotifyFreeze = [](const hosts::TFrozenThreadState&) {
    SetEvent(OpenEventA(EVENT_MODIFY_STATE, FALSE, "vl_freeze_notifying"));
    Sleep(10000);
  };
  hosts::StartFreezeWatchdog();
}
const rtl::UnitRegistration kUnit("FreezeLibrary", 1000, Init, hosts::StopFreezeWatchdog);
}  // namespace
