// The one-byte mask of stored names. Every byte of a name in the debug information (and of a
// string in the options stream) is combined by exclusive-or with this byte; the writer and the
// readers share this one definition.
#pragma once

#include <cstdint>
#include <string>

namespace vl {

inline constexpr uint8_t kStringMask = 0xA7;

// Applies the mask to every byte (the same call masks and unmasks).
inline void MaskString(std::string& text) {
  for (char& c : text) c = static_cast<char>(static_cast<uint8_t>(c) ^ kStringMask);
}

}  // namespace vl
