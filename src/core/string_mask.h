// The one-byte mask of stored strings: every byte of a string in the options stream and of a
// name in the debug information is combined by exclusive-or with this byte. Writers and readers
// of both formats share this one definition.
#pragma once

#include <cstdint>

namespace vl::core {

inline constexpr uint8_t StringMask = 0x5A;

}  // namespace vl::core
