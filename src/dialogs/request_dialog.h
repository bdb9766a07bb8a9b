// The request for reproduction steps: a modal, topmost, centred dialog with a multi-line edit,
// shown after the exception dialog when the options ask for it.
#pragma once

#include <string>

#include "dialogs/dialog_input.h"

namespace vl::dialogs {

// hfAskSteps set, an interactive GUI program, not a duplicate report, and either mail or the
// log in use.
bool RequestDialogWanted(const TDialogInput& input);

struct TRequestResult {
  bool Shown = false;
  std::string ReproductionText;  // trimmed of leading and trailing blanks and control characters
  TDialogFailure Failure;
};

// Shows the dialog when RequestDialogWanted holds; OK (Enter on the button, or Escape) stores
// the text. A dialog that cannot be drawn closes at once with an empty text.
TRequestResult ShowRequestDialog(const TDialogInput& input);

}  // namespace vl::dialogs
