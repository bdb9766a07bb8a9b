#include "zlibwrap/decompress.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

#include "zlibwrap/zlib_memory.h"

namespace vl::zlibwrap {

namespace {

// zlib counts in 32-bit units; larger inputs are not data blocks of ours.
constexpr size_t kMaxChunk = std::numeric_limits<uInt>::max();

class InflateStream {
 public:
  InflateStream() : stream_(NewStream()) {
    int rc = inflateInit_(&stream_, kZlibVersion, static_cast<int>(sizeof(z_stream)));
    if (rc != Z_OK) throw EDecompressionError(Message(rc), rc);
  }
  ~InflateStream() { inflateEnd(&stream_); }
  InflateStream(const InflateStream&) = delete;
  InflateStream& operator=(const InflateStream&) = delete;

  z_stream* operator->() { return &stream_; }
  z_stream* get() { return &stream_; }

  std::string Message(int rc) const {
    const char* text = stream_.msg ? stream_.msg : zError(rc);
    return Format("Decompression error: %s (%d)", text ? text : "unknown", rc);
  }

 private:
  z_stream stream_;
};

}  // namespace

std::vector<uint8_t> DecompressBuf(const void* input, size_t inputSize, size_t maxOutput) {
  if (inputSize > kMaxChunk) throw EDecompressionError("Decompression error: input too large", 0);
  size_t step = (inputSize + 255) & ~static_cast<size_t>(255);
  if (step == 0) step = 256;

  std::vector<uint8_t> out(std::min(step, maxOutput));
  InflateStream z;
  z->next_in = static_cast<Bytef*>(const_cast<void*>(input));
  z->avail_in = static_cast<uInt>(inputSize);
  size_t produced = 0;
  for (;;) {
    if (produced == out.size()) {
      if (out.size() >= maxOutput)
        throw EDecompressionError("Decompression error: output exceeds the limit", 0);
      out.resize(std::min(out.size() + step, maxOutput));
    }
    size_t room = std::min(out.size() - produced, kMaxChunk);
    z->next_out = out.data() + produced;
    z->avail_out = static_cast<uInt>(room);
    int rc = inflate(z.get(), Z_NO_FLUSH);
    produced += room - z->avail_out;
    if (rc == Z_STREAM_END) break;
    // No progress with room to write: the input ended inside the stream.
    if (rc == Z_BUF_ERROR)
      throw EDecompressionError("Decompression error: the stream ends before its end mark", rc);
    if (rc != Z_OK) throw EDecompressionError(z.Message(rc), rc);
  }
  out.resize(produced);
  out.shrink_to_fit();
  return out;
}

}  // namespace vl::zlibwrap
