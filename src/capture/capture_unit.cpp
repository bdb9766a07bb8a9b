#include "capture/capture_unit.h"

#include "capture/capture_state.h"
#include "capture/interception.h"
#include "capture/process_memory.h"
#include "capture/raise_hook.h"
#include "capture/thread_registry.h"
#include "core/module_options.h"
#include "core/trace.h"
#include "modules/activation.h"
#include "runtime/system.h"

int vl_capture_unit_link = 0;

namespace capture {

std::string StartDirectory;
SYSTEMTIME StartTime = {};
HANDLE MainThreadHandle = nullptr;
uintptr_t MainStackBase = 0;

void StartCapture() {
  Trace("StartCapture", {}, 2);
  MainThreadId.store(GetCurrentThreadId());
  GetLocalTime(&StartTime);
  char folder[MAX_PATH + 1] = {};
  StartDirectory.assign(folder, GetCurrentDirectoryA(MAX_PATH, folder));
  modules::TActivation activation = modules::ActivateModules();
  if (!activation.Active) {
    Trace("StartCapture=", {std::string("inactive")}, -2);
    return;
  }
  HostCarriesLibrary.store(activation.MainExecutableHasBlock);
  uintptr_t low = 0;
  CurrentStackBounds(low, MainStackBase);
  CatchingEnabled.store(true);
  ReleaseHandling();
  ClearLastException();
  InstallProcedureHooks();
  InstallRaiseHook();
  InstallThreadHooks();
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &MainThreadHandle,
                  THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, 0);
  CaptureInstalled.store(true, std::memory_order_release);
  if (core::OptionsPlatform().StartFreezeWatchdog) core::OptionsPlatform().StartFreezeWatchdog();
  Trace("StartCapture=", {std::string("active")}, -2);
}

void StopCapture() {
  if (!CaptureInstalled.load()) return;
  Trace("StopCapture", {}, 2);
  // Off first: from here on every hook only forwards.
  CaptureInstalled.store(false, std::memory_order_release);
  if (core::OptionsPlatform().StopFreezeWatchdog) core::OptionsPlatform().StopFreezeWatchdog();
  if (MainThreadHandle) CloseHandle(MainThreadHandle);
  MainThreadHandle = nullptr;
  RestoreProcedureHooks();
  FreeThreadRegistry();
  ClearIgnoredThreads();
  ClearLastException();
  modules::DeactivateModules();
  Trace("StopCapture=", {}, -2);
}

namespace {

const rtl::UnitRegistration g_unit("ExceptionLog", rtl::UnitOrderCrashReporter, StartCapture,
                                   StopCapture);

}  // namespace

}  // namespace capture
