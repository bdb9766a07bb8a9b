// The notification's dialogs: the exception dialog and the request for reproduction steps,
// fed from the notification's state, their choices written back to it.
#pragma once

namespace vl::vantorlog {

// The pipeline's exception-dialog seam.
bool ShowExceptionDialogForPipeline();
// The pipeline's reproduction-request seam.
void AskReproductionForPipeline();

}  // namespace vl::vantorlog
