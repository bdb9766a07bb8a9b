// The zlib wrapper: round trips of every size class, and every failure ends the stream and
// gives back what zlib took.
#include "zlibwrap/decompress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zlibwrap/compress.h"
#include "zlibwrap/zlib_memory.h"

using namespace vl;

using zlibwrap::CompressBuf;
using zlibwrap::DecompressBuf;
using zlibwrap::EDecompressionError;

namespace {

std::vector<uint8_t> Bytes(size_t n, unsigned seed) {
  std::vector<uint8_t> out(n);
  unsigned x = seed;
  for (auto& b : out) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>((x >> 16) % 7);  // compressible, not trivially
  }
  return out;
}

}  // namespace

TEST(DecompressBuf, RoundTripsAcrossBufferGrowth) {
  for (size_t n : {size_t{0}, size_t{1}, size_t{255}, size_t{256}, size_t{257}, size_t{100000}}) {
    std::vector<uint8_t> plain = Bytes(n, static_cast<unsigned>(n));
    std::vector<uint8_t> packed = CompressBuf(plain.data(), plain.size());
    EXPECT_EQ(packed[0], 0x78) << "zlib header";
    std::vector<uint8_t> back = DecompressBuf(packed.data(), packed.size(), 1 << 20);
    EXPECT_EQ(back, plain) << n;
    EXPECT_EQ(back.capacity(), back.size()) << "shrunk to the bytes produced";
  }
  EXPECT_EQ(zlibwrap::LiveAllocations(), 0);
}

TEST(DecompressBuf, FailuresRaiseAndReleaseEverything) {
  std::vector<uint8_t> plain = Bytes(5000, 7);
  std::vector<uint8_t> packed = CompressBuf(plain.data(), plain.size());

  // The stream is cut short: zlib can make no progress and the stream never ends.
  std::vector<uint8_t> cut(packed.begin(), packed.begin() + packed.size() / 2);
  EXPECT_THROW(DecompressBuf(cut.data(), cut.size(), 1 << 20), EDecompressionError);
  EXPECT_THROW(DecompressBuf(nullptr, 0, 1 << 20), EDecompressionError);

  // A wrong header and a corrupt body.
  std::vector<uint8_t> bad = packed;
  bad[0] = 0x12;
  EXPECT_THROW(DecompressBuf(bad.data(), bad.size(), 1 << 20), EDecompressionError);
  bad = packed;
  for (size_t i = 2; i < bad.size(); i += 3) bad[i] ^= 0x5A;
  EXPECT_THROW(DecompressBuf(bad.data(), bad.size(), 1 << 20), EDecompressionError);

  // More output than allowed: a small stream that inflates far beyond the limit.
  std::vector<uint8_t> zeros(4 << 20);
  std::vector<uint8_t> bomb = CompressBuf(zeros.data(), zeros.size());
  EXPECT_LT(bomb.size(), 8000u);
  try {
    DecompressBuf(bomb.data(), bomb.size(), 1 << 20);
    FAIL() << "no error";
  } catch (const EDecompressionError& e) {
    EXPECT_NE(std::string(e.what()).find("limit"), std::string::npos) << e.what();
  }
  EXPECT_EQ(DecompressBuf(bomb.data(), bomb.size(), 4 << 20).size(), size_t{4} << 20);

  EXPECT_EQ(zlibwrap::LiveAllocations(), 0);
}
