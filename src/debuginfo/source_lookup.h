// Finds the unit, class, procedure and line of a code offset in a module's debug information.
// The records of units whose code range does not hold the offset are skipped undecoded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vl {

struct TSourceLocation {
  std::string UnitName;
  std::string ClassName;
  std::string ProcedureName;
  int32_t LineNumber = 0;
};

// Offset: the address minus (module base + 4096). Damaged or cut-off information gives false.
bool FindSourceLocation(const uint8_t* data, size_t size, uint16_t dataVersion, int64_t offset,
                        TSourceLocation& location);

}  // namespace vl
