// Inflation of a zlib stream (RFC 1950) held in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "zlibwrap/zlib_error.h"

namespace vl::zlibwrap {

// Inflates the whole of Input into a new buffer and returns it, sized to the bytes produced.
// The buffer starts at InputSize rounded up to a multiple of 256 and grows by that step.
// Raises EDecompressionError when zlib reports an error, when the input ends before the end of
// the stream, or when the output would exceed MaxOutput bytes. The inflate stream is ended and
// every block zlib took is given back on every path.
std::vector<uint8_t> DecompressBuf(const void* input, size_t inputSize, size_t maxOutput);

}  // namespace vl::zlibwrap
