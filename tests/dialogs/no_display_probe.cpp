// Runs the three dialogs in a Wine session without a display and prints what they returned;
// no_display_test.sh checks that each returned at once and that the failure was recorded.
#include <cstdio>

#include "core/internal_errors.h"
#include "dialogs/exception_dialog.h"
#include "dialogs/request_dialog.h"
#include "dialogs/send_progress.h"

using namespace vl;

namespace {
struct Options : TVantorModuleOptions {
  Options() : TVantorModuleOptions("no_display_probe.exe", false) {}
};
}  // namespace

int main() {
  Options options;
  options.SetMailMode(mmViaServer);
  options.SetHandlingFlags(hfAskSteps);
  dialogs::TDialogInput input;
  input.Options = &options;
  input.ErrorMessage = "No display.";
  input.Flags.SendRequested = true;
  dialogs::TShowDialogResult shown = dialogs::ShowDialog(input);
  std::printf("dialog failed=%d painted=%d send=%d warning=%s\n", shown.Failure.Failed,
              shown.Painted, shown.Flags.SendRequested, LastStepError().Message.c_str());
  dialogs::TRequestResult request = dialogs::ShowRequestDialog(input);
  std::printf("request shown=%d failed=%d text=[%s]\n", request.Shown, request.Failure.Failed,
              request.ReproductionText.c_str());
  bool up = dialogs::StartSendProgress(options, dialogs::THostKind::Gui);
  dialogs::SetSendProgressText("ignored");
  dialogs::CloseSendProgress();
  std::printf("progress up=%d\n", up);
  std::fflush(stdout);
  return 0;
}
