#include "vantorlog/vantorlog_unit.h"

#include <windows.h>

#include "capture/capture_state.h"
#include "capture/interception.h"
#include "core/module_options.h"
#include "core/trace.h"
#include "delivery/screen_capture.h"
#include "dialogs/send_progress.h"
#include "hosts/framework_hooks.h"
#include "hosts/freeze_watchdog.h"
#include "hosts/host_kind.h"
#include "hosts/isapi_requests.h"
#include "hosts/main_thread.h"
#include "hosts/web_error_answer.h"
#include "pipeline/pipeline_seams.h"
#include "pipeline/pipeline_state.h"
#include "runtime/service.h"
#include "runtime/system.h"
#include "vantorlog/delivery_glue.h"
#include "vantorlog/dialog_glue.h"
#include "vantorlog/freeze_glue.h"

int vl_vantorlog_unit_link = 0;

namespace vl::vantorlog {

namespace {

bool g_started = false;
bool g_isapiHooked = false;

pipeline::THostKind HostKind() {
  if (SvcMgr::IsServiceProcess()) return pipeline::THostKind::Service;
  if (hosts::IsWebHost()) return pipeline::THostKind::WebServer;
  if (hosts::IsConsoleProgram()) return pipeline::THostKind::Console;
  return pipeline::THostKind::Gui;
}

const TVantorModuleOptions* WatchdogOptions() {
  try {
    return pipeline::CurrentVantorLogOptions();
  } catch (...) {
    return nullptr;
  }
}

bool TryTakeForWatchdog(DWORD) { return capture::TryTakeHandling(); }

VL_UNIT_REGISTRATION const rtl::UnitRegistration g_unit("ExceptionLog.Assembly",
                                                        rtl::UnitOrderCrashReporter + 2,
                                                        StartAssembly, StopAssembly);

}  // namespace

// The crash reporter's seams, in start-up order. Each layer reaches the ones above it only
// through its own struct of procedure pointers (`<layer>::Seams()`); an entry left unset has the
// fallback its header states. The units start in ascending order and finish in reverse:
//
//   1. VantorLogCore (crash reporter - 20, core_unit_win): the core's platform calls (trace
//      file, debugger output, message box, error address, module memory, own-module test).
//   2. Hooking (- 10): nothing to connect; its finalisation undoes every patch.
//   3. VantorLogDelivery (- 5, delivery_unit): the core's MAPI send for internal-error reports.
//   4. ExceptionLog (crash reporter, capture_unit): activation. The module registry's first use
//      connects what it takes from below and what the debug information takes from it
//      (modules::Seams(): options, export lists, trace; debuginfo::Seams(): module finder,
//      redirection, IDE test; the options' "MODULE" publishing). These stay in the registry:
//      every program carrying the registry needs them, with or without this assembly.
//   5. ExceptionLog.Notification (+ 1, pipeline_unit): capture::Seams() (the notification of a
//      raise, and on behalf of a waiting thread) and the options' IsCurrentOptions. They stay
//      with the pipeline, which a program may carry without this assembly.
//   6. ExceptionLog.Assembly (+ 2, here): everything above the notification, below.
//
// The throw entry (rtl::SetThrowEntry, the runtime's vl_ThrowEntry that the i686 stub jumps
// through) is no seam of this kind: the capture swaps it while its code patch is in.
void ConnectSeams() {
  pipeline::TSeams& seams = pipeline::Seams();
  seams.HostKind = HostKind;
  seams.SendWebErrorAnswer = hosts::SendWebErrorAnswer;
  seams.ShowExceptionDialog = ShowExceptionDialogForPipeline;
  seams.AskReproduction = AskReproductionForPipeline;
  seams.ScreenshotFileName = ScreenshotFileNameForPipeline;
  seams.CaptureScreenshot = delivery::CaptureScreenToPng;
  seams.SendReportByEmail = SendReportByEmailForPipeline;
  seams.UploadReport = UploadReportForPipeline;

  // The core's SMTP-progress test (the progress dialog also connects it when it starts).
  dialogs::InstallDialogSeams();

  hosts::TSeams& host = hosts::Seams();
  host.ExceptionManager = capture::ExceptionManager;
  host.CurrentOptions = WatchdogOptions;
  host.TryTakeHandling = TryTakeForWatchdog;
  host.ReleaseHandling = capture::ReleaseHandling;
  host.NotifyFreeze = NotifyFreezeForPipeline;

  // The options start and stop the watchdog when WatchdogOn changes. Left connected at the
  // assembly's finish: the capture's finalisation, which runs later, stops the watchdog
  // through it.
  core::Seams().StartFreezeWatchdog = hosts::StartFreezeWatchdog;
  core::Seams().StopFreezeWatchdog = hosts::StopFreezeWatchdog;
}

void DisconnectSeams() {
  hosts::Seams().ExceptionManager = nullptr;
  pipeline::Seams() = pipeline::TSeams();
}

void StartAssembly() {
  if (!capture::CaptureInstalled.load() || !pipeline::WorkingOptions()) return;
  Trace("StartAssembly", {}, 2);
  ConnectSeams();
  hosts::InstallFrameworkHooks();
  // An ISAPI extension: each serving thread's request is noted, so an error page reaches the
  // faulting request.
  if (hosts::IsIsapiHost()) g_isapiHooked = hosts::InstallHttpExtensionHook();
  hosts::NoteMainThread();
  hosts::StartFreezeWatchdog();
  g_started = true;
  Trace("StartAssembly=", {}, -2);
}

void StopAssembly() {
  if (!g_started) return;
  Trace("StopAssembly", {}, 2);
  g_started = false;
  hosts::StopFreezeWatchdog();
  hosts::ForgetMainThread();
  hosts::RemoveFrameworkHooks();
  if (g_isapiHooked) hosts::RemoveHttpExtensionHook();
  g_isapiHooked = false;
  DisconnectSeams();
  Trace("StopAssembly=", {}, -2);
}

}  // namespace vl::vantorlog
