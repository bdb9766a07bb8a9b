// The streaming deflater: pieces of the buffer's size, input split anywhere gives the same
// stream, a failing sink or misuse raises, and zlib's memory is always given back.
#include "zlibwrap/deflater.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "zlibwrap/compress.h"
#include "zlibwrap/decompress.h"
#include "zlibwrap/zlib_memory.h"

using namespace vl;

using zlibwrap::TDeflater;

namespace {

std::vector<uint8_t> Sample(size_t n) {
  std::vector<uint8_t> out(n);
  unsigned x = 1;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    out[i] = static_cast<uint8_t>(i % 300 < 200 ? (x >> 16) : i / 300);
  }
  return out;
}

}  // namespace

TEST(Deflater, PiecesHaveTheBufferSizeAndTheStreamIsWhole) {
  std::vector<uint8_t> input = Sample(200000);
  std::vector<uint8_t> whole = zlibwrap::CompressBuf(input.data(), input.size(), 9);
  for (size_t buffer : {size_t{1}, size_t{2}, size_t{4096}, size_t{262143}}) {
    for (size_t step : {size_t{1}, size_t{777}, input.size()}) {
      if (buffer < 4096 && step == 1) continue;  // slow and adds nothing
      std::vector<size_t> pieces;
      std::vector<uint8_t> out;
      {
        TDeflater d(9, buffer, [&](const uint8_t* data, size_t size) {
          pieces.push_back(size);
          out.insert(out.end(), data, data + size);
        });
        for (size_t at = 0; at < input.size(); at += step)
          d.Feed(input.data() + at, std::min(step, input.size() - at));
        d.Finish();
        EXPECT_EQ(d.TotalOut(), out.size());
      }
      SCOPED_TRACE(testing::Message() << "buffer " << buffer << " step " << step);
      ASSERT_FALSE(pieces.empty());
      for (size_t i = 0; i + 1 < pieces.size(); ++i) ASSERT_EQ(pieces[i], buffer);
      EXPECT_GT(pieces.back(), 0u);
      EXPECT_LE(pieces.back(), buffer);
      EXPECT_EQ(out, whole) << "same stream however the input is split";
      EXPECT_EQ(zlibwrap::DecompressBuf(out.data(), out.size(), input.size()), input);
    }
  }
  EXPECT_EQ(zlibwrap::LiveAllocations(), 0);
}

TEST(Deflater, EmptyInputStillMakesAStream) {
  std::vector<uint8_t> out;
  TDeflater d(9, 16,
              [&](const uint8_t* data, size_t size) { out.insert(out.end(), data, data + size); });
  d.Finish();
  EXPECT_TRUE(zlibwrap::DecompressBuf(out.data(), out.size(), 10).empty());
}

TEST(Deflater, FailuresRaiseAndRelease) {
  std::vector<uint8_t> input = Sample(100000);
  // A sink that fails on its second piece.
  EXPECT_THROW(
      {
        int calls = 0;
        TDeflater d(9, 1000, [&](const uint8_t*, size_t) {
          if (++calls == 2) throw std::runtime_error("disk full");
        });
        d.Feed(input.data(), input.size());
        d.Finish();
      },
      std::runtime_error);
  EXPECT_EQ(zlibwrap::LiveAllocations(), 0);

  // Bad settings and use after the end.
  EXPECT_THROW(TDeflater(10, 100, [](const uint8_t*, size_t) {}), zlibwrap::ECompressionError);
  EXPECT_THROW(TDeflater(9, 0, [](const uint8_t*, size_t) {}), zlibwrap::ECompressionError);
  TDeflater d(9, 100, [](const uint8_t*, size_t) {});
  d.Finish();
  EXPECT_THROW(d.Feed(input.data(), 1), zlibwrap::ECompressionError);
  EXPECT_THROW(d.Finish(), zlibwrap::ECompressionError);
  EXPECT_EQ(zlibwrap::LiveAllocations(), 0);
}
