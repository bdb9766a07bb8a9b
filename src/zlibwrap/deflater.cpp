#include "zlibwrap/deflater.h"

#include <algorithm>
#include <limits>

#include "zlibwrap/zlib_memory.h"

namespace vl::zlibwrap {

namespace {

[[noreturn]] void Fail(const z_stream& stream, const char* step, int rc) {
  const char* text = stream.msg ? stream.msg : zError(rc);
  throw ECompressionError(
      Format("Compression error in %s: %s (%d)", step, text ? text : "unknown", rc), rc);
}

}  // namespace

TDeflater::TDeflater(int level, size_t bufferSize, Sink sink)
    : stream_(NewStream()), sink_(std::move(sink)) {
  if (bufferSize == 0 || bufferSize > std::numeric_limits<uInt>::max())
    throw ECompressionError("Compression error: bad output buffer size", 0);
  buffer_.resize(bufferSize);
  int rc = deflateInit_(&stream_, level, kZlibVersion, static_cast<int>(sizeof(z_stream)));
  if (rc != Z_OK) Fail(stream_, "deflateInit", rc);
  active_ = true;
  RestartBuffer();
}

TDeflater::~TDeflater() {
  if (active_) deflateEnd(&stream_);
}

void TDeflater::RestartBuffer() {
  stream_.next_out = buffer_.data();
  stream_.avail_out = static_cast<uInt>(buffer_.size());
}

void TDeflater::Emit(size_t size) {
  if (size == 0) return;
  sink_(buffer_.data(), size);
  totalOut_ += size;
}

void TDeflater::Feed(const void* data, size_t size) {
  if (!active_) throw ECompressionError("Compression error: the stream has ended", 0);
  const Bytef* next = static_cast<const Bytef*>(data);
  while (size > 0) {
    uInt piece = static_cast<uInt>(std::min<size_t>(size, std::numeric_limits<uInt>::max()));
    stream_.next_in = const_cast<Bytef*>(next);
    stream_.avail_in = piece;
    while (stream_.avail_in > 0) {
      // The buffer always has room here: a full one is handed on before the next call.
      int rc = deflate(&stream_, Z_NO_FLUSH);
      if (rc != Z_OK) Fail(stream_, "deflate", rc);
      if (stream_.avail_out == 0) {
        Emit(buffer_.size());
        RestartBuffer();
      }
    }
    next += piece;
    size -= piece;
  }
  stream_.next_in = Z_NULL;
}

void TDeflater::Finish() {
  if (!active_) throw ECompressionError("Compression error: the stream has ended", 0);
  stream_.next_in = Z_NULL;
  stream_.avail_in = 0;
  for (;;) {
    int rc = deflate(&stream_, Z_FINISH);
    if (rc == Z_STREAM_END) break;
    if (rc != Z_OK) Fail(stream_, "deflate", rc);
    // zlib stops short of the end only when the buffer is full; a full buffer goes on as one
    // piece, so every piece but the last has the buffer's size.
    if (stream_.avail_out == 0) {
      Emit(buffer_.size());
      RestartBuffer();
    }
  }
  Emit(buffer_.size() - stream_.avail_out);
  RestartBuffer();
  active_ = false;
  int rc = deflateEnd(&stream_);
  if (rc != Z_OK) Fail(stream_, "deflateEnd", rc);
}

}  // namespace vl::zlibwrap
