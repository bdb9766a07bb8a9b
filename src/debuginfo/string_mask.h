// Masking of the names stored in the debug information (the mask is shared with the options
// stream).
#pragma once

#include <cstdint>
#include <string>

#include "core/string_mask.h"

namespace vl {

inline constexpr uint8_t kStringMask = core::StringMask;

// Applies the mask to every byte (the same call masks and unmasks).
inline void MaskString(std::string& text) {
  for (char& c : text) c = static_cast<char>(static_cast<uint8_t>(c) ^ kStringMask);
}

}  // namespace vl
