// The notification's delivery: the screenshot's file and the mail step, fed from the
// notification's state.
#pragma once

#include <string>

namespace vantorlog {

// The temporary folder plus "Screenshot.png" when the working options add a screenshot, else
// empty.
std::string ScreenshotFileNameForPipeline();

}  // namespace vantorlog
