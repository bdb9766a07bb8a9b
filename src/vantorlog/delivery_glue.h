// The notification's delivery: the screenshot's file and the mail step, fed from the
// notification's state.
#pragma once

#include <string>

namespace vl::vantorlog {

// The screenshot's file when the working options add a screenshot (the temporary folder plus
// "Screenshot.png"), else empty.
std::string ScreenshotFileNameForPipeline();

// The pipeline's mail-step seam: the e-mail step with the notification's report, reproduction
// text, screenshot and handlers; its result becomes the step's.
bool SendReportByEmailForPipeline();

// The pipeline's upload seam: the report and its minidump posted to UploadUrl; its result
// becomes the step's.
bool UploadReportForPipeline();

}  // namespace vl::vantorlog
