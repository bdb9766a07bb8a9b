// Data-block versions at which the debug information's layout changed.
#pragma once

#include <cstdint>

namespace vl {

// From this version on the debug information starts with the name index.
inline constexpr uint16_t kNameIndexVersion = 405;
// From this version on a four-byte line record with the escape value is followed by two
// 16-bit steps.
inline constexpr uint16_t kLineEscapeVersion = 423;

// Code offsets in the debug information count from the module's load address plus this.
inline constexpr uint32_t kCodeOffsetBase = 4096;

}  // namespace vl
