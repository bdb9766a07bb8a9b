#include "zlibwrap/zlib_memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace vl::zlibwrap {

namespace {
std::atomic<std::ptrdiff_t> g_live{0};
}

voidpf ZAlloc(voidpf, uInt items, uInt size) {
  if (items != 0 && size > std::numeric_limits<size_t>::max() / items) return Z_NULL;
  void* block = std::calloc(items, size);
  if (block) ++g_live;
  return block;
}

void ZFree(voidpf, voidpf address) {
  if (!address) return;
  --g_live;
  std::free(address);
}

z_stream NewStream() {
  z_stream stream;
  std::memset(&stream, 0, sizeof stream);
  stream.zalloc = ZAlloc;
  stream.zfree = ZFree;
  stream.opaque = Z_NULL;
  return stream;
}

std::ptrdiff_t LiveAllocations() { return g_live.load(); }

}  // namespace vl::zlibwrap
