// zlib's allocation hooks and the version string the program passes to zlib's initialisers.
// Every block zlib asks for comes from the program's heap through these hooks.
#pragma once

#include <zlib.h>

#include <cstddef>

namespace vl::zlibwrap {

// The zlib version the program was written against; zlib checks only the major number.
constexpr const char kZlibVersion[] = "1.1.4";

voidpf ZAlloc(voidpf opaque, uInt items, uInt size);
void ZFree(voidpf opaque, voidpf address);

// A z_stream with the hooks above installed and everything else cleared.
z_stream NewStream();

// Blocks handed out by ZAlloc and not yet given back (for tests of every exit path).
std::ptrdiff_t LiveAllocations();

}  // namespace vl::zlibwrap
