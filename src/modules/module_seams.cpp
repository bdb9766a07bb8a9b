#include "modules/module_seams.h"

namespace modules {

TModuleSeams& ModuleSeams() {
  static TModuleSeams seams;
  return seams;
}

void TraceLine(const std::string& line) {
  if (ModuleSeams().Trace) ModuleSeams().Trace(line);
}

}  // namespace modules
