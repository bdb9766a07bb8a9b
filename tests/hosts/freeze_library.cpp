// A library carrying the freeze watchdog, loaded by freeze_program's "library" mode on its main
// thread: its notification sets the event "vl_freeze_notifying" and then takes 10 s.
#include <windows.h>

#include "core/module_options.h"
#include "hosts/freeze_watchdog.h"
#include "hosts/main_thread.h"
#include "runtime/system.h"

using namespace vl;

namespace {

TVantorModuleOptions* g_options = nullptr;

void Init() {
  hosts::NoteMainThread();
  g_options = new TVantorModuleOptions("freeze_library.dll", false);
  g_options->SetWatchdogOn(true);
  g_options->SetWatchdogSeconds(1);
  hosts::FreezeWatchdogSeams().CurrentOptions = [] {
    return static_cast<const TVantorModuleOptions*>(g_options);
  };
  hosts::FreezeWatchdogSeams().NotifyFreeze = [](const hosts::TFrozenThreadState&) {
    SetEvent(OpenEventA(EVENT_MODIFY_STATE, FALSE, "vl_freeze_notifying"));
    Sleep(10000);
  };
  hosts::StartFreezeWatchdog();
}

const rtl::UnitRegistration kUnit("FreezeLibrary", rtl::UnitOrderProgram, Init,
                                  hosts::StopFreezeWatchdog);

}  // namespace
