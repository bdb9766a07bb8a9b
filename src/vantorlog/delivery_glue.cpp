#include "vantorlog/delivery_glue.h"

#include <windows.h>

#include "core/module_options.h"
#include "delivery/send_step.h"
#include "delivery/upload_step.h"
#include "pipeline/handlers.h"
#include "pipeline/pipeline_seams.h"
#include "pipeline/pipeline_state.h"

namespace vl::vantorlog {

std::string ScreenshotFileNameForPipeline() {
  const TVantorModuleOptionsEx* options = pipeline::WorkingOptions();
  if (!options || !options->AddScreenshot()) return "";
  return delivery::GetTempFolder() + "Screenshot.png";
}

bool SendReportByEmailForPipeline() {
  pipeline::TPipelineState& state = pipeline::State();
  pipeline::TVantorExceptionRecord* record = state.CurrentExceptionRecord;
  delivery::TSendInput input;
  input.Options = record ? record->Options : pipeline::WorkingOptions();
  input.SendText = state.Blocks.SendText;
  input.FullReport = record ? record->ReportText : state.Blocks.Full;
  input.ReproductionText = state.ReproductionText;
  input.ScreenshotRequested = state.ScreenshotRequested;
  input.ScreenshotFile = state.ScreenshotFile;
  input.MinidumpFile = state.MinidumpFile;
  input.Host = pipeline::CurrentHostKind() == pipeline::THostKind::Gui
                   ? dialogs::THostKind::Gui
                   : dialogs::THostKind::Console;
  // The handler calls reach the faulting thread on their own (CallOnExceptionThread).
  if (record && pipeline::HasActionHandler()) {
    input.OnAction = [record](int action, bool& result) {
      pipeline::CallActionHandler(*record, action, result);
    };
  }
  if (record && pipeline::HasErrorHandler()) {
    input.OnError = [record](int action, bool& retry) {
      pipeline::CallErrorHandler(*record, action, retry);
    };
  }
  state.StepResult = delivery::SendReportByEmail(input);
  return state.StepResult;
}

bool UploadReportForPipeline() {
  pipeline::TPipelineState& state = pipeline::State();
  pipeline::TVantorExceptionRecord* record = state.CurrentExceptionRecord;
  delivery::TUploadInput input;
  input.Options = record ? record->Options : pipeline::WorkingOptions();
  input.ReportText = record ? record->ReportText : state.Blocks.Full;
  input.MinidumpFile = state.MinidumpFile;
  input.Host = pipeline::CurrentHostKind() == pipeline::THostKind::Gui
                   ? dialogs::THostKind::Gui
                   : dialogs::THostKind::Console;
  if (record && pipeline::HasErrorHandler()) {
    input.OnError = [record](int action, bool& retry) {
      pipeline::CallErrorHandler(*record, action, retry);
    };
  }
  state.StepResult = delivery::UploadReport(input);
  return state.StepResult;
}

}  // namespace vl::vantorlog
