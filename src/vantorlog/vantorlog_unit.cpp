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

VL_UNIT_REGISTRATION const rtl::UnitRegistration g_unit("ExceptionLog.Assembly", rtl::UnitOrderCrashReporter + 2,
                                   StartAssembly, StopAssembly);

}  // namespace

void StartAssembly() {
  if (!capture::CaptureInstalled.load() || !pipeline::WorkingOptions()) return;
  Trace("StartAssembly", {}, 2);
  pipeline::TPipelineSeams& seams = pipeline::Seams();
  seams.HostKind = HostKind;
  seams.SendWebErrorAnswer = hosts::SendWebErrorAnswer;
  seams.ShowExceptionDialog = ShowExceptionDialogForPipeline;
  seams.AskReproduction = AskReproductionForPipeline;
  seams.ScreenshotFileName = ScreenshotFileNameForPipeline;
  seams.CaptureScreenshot = delivery::CaptureScreenToPng;
  seams.SendReportByEmail = SendReportByEmailForPipeline;
  seams.UploadReport = UploadReportForPipeline;
  dialogs::InstallDialogSeams();

  hosts::ExceptionManagerProc = capture::ExceptionManager;
  hosts::InstallFrameworkHooks();
  // An ISAPI extension: each serving thread's request is noted, so an error page reaches the
  // faulting request.
  if (hosts::IsIsapiHost()) g_isapiHooked = hosts::InstallHttpExtensionHook();

  hosts::TFreezeWatchdogSeams& freeze = hosts::FreezeWatchdogSeams();
  freeze.CurrentOptions = WatchdogOptions;
  freeze.TryTakeHandling = TryTakeForWatchdog;
  freeze.ReleaseHandling = capture::ReleaseHandling;
  freeze.NotifyFreeze = NotifyFreezeForPipeline;
  hosts::NoteMainThread();
  hosts::InstallFreezeWatchdog();
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
  hosts::ExceptionManagerProc = nullptr;
  pipeline::Seams() = pipeline::TPipelineSeams();
  Trace("StopAssembly=", {}, -2);
}

}  // namespace vl::vantorlog
