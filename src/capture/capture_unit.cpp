#include "capture/capture_unit.h"

#include "capture/capture_state.h"
#include "capture/failure_handoff.h"
#include "capture/interception.h"
#include "capture/process_memory.h"
#include "capture/raise_hook.h"
#include "capture/termination.h"
#include "capture/thread_registry.h"
#include "core/module_options.h"
#include "core/trace.h"
#include "modules/activation.h"
#include "modules/module_registry.h"
#include "runtime/system.h"

int vl_capture_unit_link = 0;

namespace vl::capture {

VL_UNIT_REGISTRATION std::string StartDirectory;
SYSTEMTIME StartTime = {};
HANDLE MainThreadHandle = nullptr;
bool DevelopmentEnvironmentMode = false;
uintptr_t MainStackBase = 0;

// Stack kept back for the crash path after a stack overflow, where the system has it.
constexpr ULONG OverflowReserve = 64 * 1024;

void ReserveStackForOverflow() {
  using TGuarantee = BOOL(WINAPI*)(ULONG*);
  const auto guarantee = reinterpret_cast<TGuarantee>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetThreadStackGuarantee")));
  ULONG size = OverflowReserve;
  if (guarantee) guarantee(&size);
}

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
  DevelopmentEnvironmentMode = activation.DevelopmentEnvironment;
  uintptr_t low = 0;
  CurrentStackBounds(low, MainStackBase);
  CatchingEnabled.store(true);
  ReserveStackForOverflow();
  // A plain main has no runtime main block around it: faults reach the runtime's filter.
  rtl::InstallLastChanceFilter();
  ReleaseHandling();
  ClearLastException();
  CreateThreadRegistry();
  if (!DevelopmentEnvironmentMode) {
    InstallProcedureHooks();
    InstallEndingHooks();
    InstallRaiseHook();
    InstallThreadHooks();
    InstallFailureHandoff();
  }
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &MainThreadHandle,
                  THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT, FALSE, 0);
  CaptureInstalled.store(true, std::memory_order_release);
  if (core::Seams().StartFreezeWatchdog) core::Seams().StartFreezeWatchdog();
  // Inside the development environment nothing is hooked; the module list is all that is kept.
  if (DevelopmentEnvironmentMode) {
    try {
      modules::RefreshModulesList();
    } catch (const std::exception& e) {
      Trace("StartCapture: module list not refreshed", {std::string(e.what())}, 0);
    }
  }
  Trace("StartCapture=",
        {std::string(DevelopmentEnvironmentMode ? "active, no interception" : "active")}, -2);
}

void StopCapture() {
  if (!CaptureInstalled.load()) return;
  Trace("StopCapture", {}, 2);
  // Off first: from here on every hook only forwards.
  CaptureInstalled.store(false, std::memory_order_release);
  // A notification still running on another thread finishes before its state goes (5 s at
  // most: at a DLL's detach the loader lock is held, and that thread may need it).
  bool took = false;
  const bool ownNotification = HandlingThreadId() == GetCurrentThreadId();
  for (int i = 0; i < 500 && !ownNotification && !(took = TryTakeHandling()); ++i) Sleep(10);
  if (core::Seams().StopFreezeWatchdog) core::Seams().StopFreezeWatchdog();
  if (MainThreadHandle) CloseHandle(MainThreadHandle);
  MainThreadHandle = nullptr;
  RemoveFailureHandoff();
  RestoreProcedureHooks();
  RemoveEndingHooks();
  FreeThreadRegistry();
  ClearIgnoredThreads();
  ClearLastException();
  modules::DeactivateModules();
  if (took) ReleaseHandling();
  Trace("StopCapture=", {}, -2);
  SaveTraceLogIfRequested();
}

namespace {

VL_UNIT_REGISTRATION const rtl::UnitRegistration g_unit("ExceptionLog", rtl::UnitOrderCrashReporter,
                                                        StartCapture, StopCapture);

}  // namespace

}  // namespace vl::capture
