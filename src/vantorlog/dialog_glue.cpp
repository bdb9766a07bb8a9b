#include "vantorlog/dialog_glue.h"

#include "core/internal_errors.h"
#include "core/trace.h"
#include "dialogs/exception_dialog.h"
#include "dialogs/request_dialog.h"
#include "modules/module_registry.h"
#include "pipeline/handlers.h"
#include "pipeline/pipeline_seams.h"
#include "pipeline/pipeline_state.h"
#include "report/report_tables.h"

namespace vl::vantorlog {

namespace {

dialogs::THostKind DialogHost() {
  switch (pipeline::CurrentHostKind()) {
    case pipeline::THostKind::Console:
    case pipeline::THostKind::Service:
      return dialogs::THostKind::Console;
    case pipeline::THostKind::WebServer:
      return dialogs::THostKind::WebServer;
    case pipeline::THostKind::Gui:
      break;
  }
  return dialogs::THostKind::Gui;
}

dialogs::TDialogInput InputFromState() {
  pipeline::TPipelineState& state = pipeline::State();
  pipeline::TVantorExceptionRecord* record = state.CurrentExceptionRecord;
  dialogs::TDialogInput input;
  input.Options = record ? record->Options : pipeline::WorkingOptions();
  input.Host = DialogHost();
  input.ErrorMessage = state.ErrorMessage;
  input.IsDuplicate = state.IsDuplicate;
  input.ErrorCount = state.ErrorCount;
  input.Flags.SendRequested = state.SendRequested;
  input.Flags.ScreenshotRequested = state.ScreenshotRequested;
  input.Flags.CopyToClipboardRequested = state.CopyToClipboardRequested;
  input.Flags.TerminateRequested = state.TerminateRequested;
  input.GeneralBlock = state.Blocks.General;
  input.CpuBlock = state.Blocks.Cpu;
  for (const report::TCallStackRow& row :
       report::CallStackRows(state.Facts.Stack, 2 * static_cast<int>(sizeof(void*)))) {
    dialogs::TListRow listRow;
    listRow.Cells = row.Cells;
    listRow.Icon = row.Icon;
    input.CallStackRows.push_back(std::move(listRow));
  }
  input.Modules = modules::ModulesList();
  if (record && pipeline::HasActionHandler()) {
    input.AskTerminate = [record](bool& terminate) {
      pipeline::CallActionHandler(*record, pipeline::atTerminating, terminate);
    };
  }
  return input;
}

}  // namespace

bool ShowExceptionDialogForPipeline() {
  const dialogs::TDialogInput input = InputFromState();
  if (!input.Options) return true;
  const dialogs::TShowDialogResult shown = dialogs::ShowDialog(input);
  pipeline::TPipelineState& state = pipeline::State();
  state.SendRequested = shown.Flags.SendRequested;
  state.ScreenshotRequested = shown.Flags.ScreenshotRequested;
  state.CopyToClipboardRequested = shown.Flags.CopyToClipboardRequested;
  state.TerminateRequested = state.TerminateRequested || shown.Flags.TerminateRequested;
  if (shown.Failure.Failed) {
    const std::string what = shown.Failure.ClassName.empty()
                                 ? shown.Failure.Message
                                 : shown.Failure.ClassName + ": " + shown.Failure.Message;
    SetStepError(eeShowError, "[GUI] " + what);
    return false;
  }
  return true;
}

void AskReproductionForPipeline() {
  const dialogs::TDialogInput input = InputFromState();
  if (!input.Options) return;
  const dialogs::TRequestResult asked = dialogs::ShowRequestDialog(input);
  if (asked.Failure.Failed) {
    Trace("AskReproduction: the request dialog failed", {asked.Failure.Message}, 0);
  }
  pipeline::State().ReproductionText = asked.ReproductionText;
}

}  // namespace vl::vantorlog
