#include "vantorlog/delivery_glue.h"

#include <windows.h>

#include "core/module_options.h"
#include "pipeline/pipeline_state.h"

namespace vantorlog {

std::string ScreenshotFileNameForPipeline() {
  const TVantorModuleOptionsEx* options = pipeline::WorkingOptions();
  if (!options || !options->AddScreenshot()) return "";
  char folder[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(MAX_PATH, folder);
  if (length == 0 || length > MAX_PATH) return "";
  return std::string(folder, length) + "Screenshot.png";
}

}  // namespace vantorlog
