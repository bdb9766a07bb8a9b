// The exception dialog: a modal, topmost dialog without owner that shows the error message with
// OK, terminate/restart and details buttons and the send/screenshot/copy check boxes, and that
// switches to a resizable detailed view with four tab pages (general block, call stack,
// modules, CPU block). Runs on the thread that carries out the notification.
#pragma once

#include "dialogs/dialog_input.h"

namespace vl::dialogs {

struct TShowDialogResult {
  TDialogFlags Flags;      // the choices; Terminate stays as given unless the user chose it
  bool Painted = false;    // the last showing was drawn at least once
  TDialogFailure Failure;  // something inside the dialog failed; the dialog was closed
};

// Shows the dialog until the choice is final: a terminate request goes to Input.AskTerminate
// (through Input.CallOnExceptionThread) and, when vetoed, the dialog is shown again. A dialog
// that cannot be drawn closes at once; its message then goes to a system message box and the
// warning "Cannot show the DialogBox window." is recorded (eeShowError). Nothing raised inside
// the dialog leaves it: it comes back in Failure.
TShowDialogResult ShowDialog(const TDialogInput& input);

}  // namespace vl::dialogs
