// A streaming deflater: input arrives in pieces, output leaves through a sink in pieces of one
// fixed size (only the last piece may be shorter), so memory stays bounded by one output buffer
// plus zlib's state whatever the size of the input.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "zlibwrap/zlib_error.h"

namespace vl::zlibwrap {

class TDeflater {
 public:
  // Receives each finished output piece; it may raise, which ends the deflation (the stream is
  // still ended and its memory given back when the deflater is destroyed).
  using Sink = std::function<void(const uint8_t* data, size_t size)>;

  // Begins a zlib stream (RFC 1950) at Level with zlib's defaults otherwise (deflate method,
  // 15 window bits, memory level 8, default strategy), through the program's allocation hooks.
  // Output collects in a buffer of BufferSize bytes (1 to 4 GiB - 1); every full buffer goes to
  // Sink. Raises ECompressionError when zlib refuses to start.
  TDeflater(int level, size_t bufferSize, Sink sink);
  ~TDeflater();
  TDeflater(const TDeflater&) = delete;
  TDeflater& operator=(const TDeflater&) = delete;

  // Deflates Size bytes without flushing. Raises ECompressionError on any zlib result other
  // than success, or when called after Finish.
  void Feed(const void* data, size_t size);
  // Ends the stream: deflates with Z_FINISH until zlib reports the end, hands every full buffer
  // and then the non-empty rest to Sink, and ends zlib's stream. Raises ECompressionError on a
  // zlib failure.
  void Finish();

  // Bytes handed to the sink so far.
  uint64_t TotalOut() const { return totalOut_; }

 private:
  void Emit(size_t size);
  void RestartBuffer();

  z_stream stream_;
  std::vector<uint8_t> buffer_;
  Sink sink_;
  uint64_t totalOut_ = 0;
  bool active_ = false;
};

}  // namespace vl::zlibwrap
