#include "zlibwrap/compress.h"

#include <zlib.h>

#include <limits>

#include "zlibwrap/zlib_memory.h"

namespace vl::zlibwrap {

namespace {

class DeflateStream {
 public:
  explicit DeflateStream(int level) : stream_(NewStream()) {
    int rc = deflateInit_(&stream_, level, kZlibVersion, static_cast<int>(sizeof(z_stream)));
    if (rc != Z_OK) throw ECompressionError(Format("Compression error (%d)", rc), rc);
  }
  ~DeflateStream() { deflateEnd(&stream_); }
  DeflateStream(const DeflateStream&) = delete;
  DeflateStream& operator=(const DeflateStream&) = delete;
  z_stream* get() { return &stream_; }

 private:
  z_stream stream_;
};

}  // namespace

std::vector<uint8_t> CompressBuf(const void* input, size_t inputSize, int level) {
  if (inputSize > std::numeric_limits<uInt>::max())
    throw ECompressionError("Compression error: input too large", 0);
  DeflateStream z(level);
  z_stream* s = z.get();
  std::vector<uint8_t> out(deflateBound(s, static_cast<uLong>(inputSize)) + 64);
  s->next_in = static_cast<Bytef*>(const_cast<void*>(input));
  s->avail_in = static_cast<uInt>(inputSize);
  size_t produced = 0;
  int flush = Z_NO_FLUSH;
  for (;;) {
    if (produced == out.size()) out.resize(out.size() * 2);
    size_t room = out.size() - produced;
    s->next_out = out.data() + produced;
    s->avail_out = static_cast<uInt>(room);
    int rc = deflate(s, flush);
    produced += room - s->avail_out;
    if (rc == Z_STREAM_END) break;
    if (rc != Z_OK && rc != Z_BUF_ERROR)
      throw ECompressionError(Format("Compression error (%d)", rc), rc);
    if (flush == Z_NO_FLUSH && s->avail_in == 0) flush = Z_FINISH;
  }
  out.resize(produced);
  return out;
}

}  // namespace vl::zlibwrap
