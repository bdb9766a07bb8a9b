// Deflation into a zlib stream (RFC 1950) held in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "zlibwrap/zlib_error.h"

namespace vl::zlibwrap {

// Deflates Input at Level (zlib's defaults otherwise): deflate without flushing, then with
// Z_FINISH until the end of the stream. Raises ECompressionError on a zlib failure.
std::vector<uint8_t> CompressBuf(const void* input, size_t inputSize, int level = 9);

}  // namespace vl::zlibwrap
