// Unit, class and procedure from the name under which a module exports a routine, for modules
// without debug information: "Unit.Class.Proc", "@Unit@Class@Proc$qqrv" or a plain "Proc".
#pragma once

#include <cstdint>
#include <string>

namespace vl {

struct TExportNameParts {
  std::string UnitName;
  std::string ClassName;
  std::string ProcedureName;
};

// Gives the detail the name yields: 0 (nothing), 2 (procedure only) or 3 (unit, class and
// procedure); Parts is filled only when the result is not 0.
uint8_t DecodeExportName(const std::string& name, TExportNameParts& parts);

}  // namespace vl
