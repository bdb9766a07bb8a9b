// What the crash reporter's dialogs are given and what they give back. The notification
// pipeline fills a TDialogInput from its state (message, flags, error count, report blocks,
// call-stack rows, module list, options) and acts on the returned flags; the dialogs never reach
// into the pipeline themselves.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/module_options.h"
#include "dialogs/cells.h"

namespace vl::modules {
class TVantorModulesList;
}

namespace vl::dialogs {

// The kind of process the reporter runs in; only an interactive GUI program gets dialogs.
enum class THostKind { Gui, Console, WebServer };

// The four choices of the exception dialog.
struct TDialogFlags {
  bool SendRequested = false;
  bool ScreenshotRequested = false;
  bool CopyToClipboardRequested = false;
  bool TerminateRequested = false;
};

struct TDialogInput {
  // The working options (texts, mail mode, look, thresholds). Required.
  const TVantorModuleOptions* Options = nullptr;
  THostKind Host = THostKind::Gui;
  std::string ErrorMessage;
  bool IsDuplicate = false;
  int32_t ErrorCount = 0;
  // Initial choices; the pipeline starts Send as (MailMode != mmNone) and Screenshot as
  // AddScreenshot; Terminate is process-wide and may already be set.
  TDialogFlags Flags;
  // The report's general and CPU blocks, shown on the first and last tab.
  std::string GeneralBlock;
  std::string CpuBlock;
  // The call-stack list's rows, already selected and formatted.
  std::vector<TListRow> CallStackRows;
  // The modules of the process (not owned); null shows an empty list.
  const modules::TVantorModulesList* Modules = nullptr;
  // The action handler for action 6 (terminating): may clear the flag to veto. Empty: no
  // handler attached.
  std::function<void(bool& terminateRequested)> AskTerminate;
  // Runs a handler call on the faulting thread and waits for it. Empty: call directly.
  std::function<void(const std::function<void()>&)> CallOnExceptionThread;
  // Called after a tab page has been created, with its index (tracing and tests).
  std::function<void(int page)> PageCreated;
};

// A failure inside a dialog: the class name and message of what was raised, or a description
// of a failed system call.
struct TDialogFailure {
  bool Failed = false;
  std::string ClassName;
  std::string Message;
};

}  // namespace vl::dialogs
