// The result of resolving one code address, and the detail levels it can reach.
#pragma once

#include <cstdint>
#include <string>

namespace vl {

// The module registry's record of one module (declared with the module registry).
class TVantorModuleInfo;

enum : uint8_t {
  ddNothing = 0,          // nothing known
  ddModule = 1,           // module known
  ddExportProcedure = 2,  // procedure name from an export name
  ddExportFull = 3,       // unit, class and procedure from an export name
  ddDebugInfo = 4,        // everything from the debug information
};

struct TVantorDebugInfo {
  uint8_t DebugDetail = ddNothing;
  TVantorModuleInfo* ModuleInfo = nullptr;
  uintptr_t Addr = 0;
  std::string UnitName;
  std::string ClassName;
  std::string ProcedureName;
  int32_t LineNumber = 0;
};

}  // namespace vl
