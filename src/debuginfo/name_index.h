// The name index at the start of newer debug information: each routine's full name
// ("Unit.Class.Proc") with its code offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vl {

// Finds FullName (exact, case-sensitive) and gives its code offset. False when the data has no
// index (older data versions), the name is not there, or the index is damaged.
bool FindNameIndexOffset(const uint8_t* data, size_t size, uint16_t dataVersion,
                         const std::string& fullName, int32_t& offset);

}  // namespace vl
