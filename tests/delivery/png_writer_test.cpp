// The PNG encoder, checked against libpng as an independent decoder and against zlib's own
// CRC-32 and inflate: exact pixels and colours at padded and unpadded widths, the chunk layout
// byte for byte, the IDAT cut, and every failed write.
#include "delivery/png_writer.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstring>
#include <string>
#include <vector>

#include "zlibwrap/decompress.h"
#include "zlibwrap/zlib_memory.h"

using namespace vl;

using delivery::DibStride;
using delivery::kPngIdatSize;
using delivery::TPaletteDib;

namespace {

// A bitmap as GetDIBits hands it out, filled by a formula; the padding bytes hold 0xEE so that
// a writer that copies them is caught.
struct TestDib {
  uint32_t Width = 0, Height = 0;
  std::vector<uint8_t> Colors = std::vector<uint8_t>(1024);
  std::vector<uint8_t> Bits;
  TPaletteDib View() const { return {Width, Height, Colors.data(), Bits.data()}; }
  // Palette index of screen line Y (0 = top), column X.
  uint8_t At(uint32_t x, uint32_t y) const { return Bits[(Height - 1 - y) * DibStride(Width) + x]; }
};

TestDib MakeDib(uint32_t width, uint32_t height, unsigned seed) {
  TestDib dib;
  dib.Width = width;
  dib.Height = height;
  for (int i = 0; i < 256; ++i) {
    dib.Colors[i * 4] = static_cast<uint8_t>(i * 7 + seed);   // blue
    dib.Colors[i * 4 + 1] = static_cast<uint8_t>(255 - i);    // green
    dib.Colors[i * 4 + 2] = static_cast<uint8_t>(i * 3 + 1);  // red
    dib.Colors[i * 4 + 3] = 0xAB;                             // reserved: never written
  }
  size_t stride = DibStride(width);
  dib.Bits.assign(stride * height, 0xEE);
  unsigned r = seed;
  for (uint32_t row = 0; row < height; ++row)
    for (uint32_t x = 0; x < width; ++x) {
      r = r * 1103515245u + 12345u;
      // Runs and noise mixed, like a screen.
      dib.Bits[row * stride + x] =
          static_cast<uint8_t>((x / 17 + row / 5) % 9 == 0 ? r >> 16 : row + x / 64);
    }
  return dib;
}

std::vector<uint8_t> WritePng(const TPaletteDib& dib) {
  core::TMemoryStream out;
  delivery::WritePaletteDibAsPng(out, dib);
  return out.Data();
}

struct Decoded {
  uint32_t Width = 0, Height = 0;
  int BitDepth = 0, ColorType = 0, Interlace = 0;
  std::vector<png_color> Palette;
  std::vector<std::vector<uint8_t>> Rows;
  std::string Error;
};

struct ReadCursor {
  const std::vector<uint8_t>* Data;
  size_t Pos;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
  auto* c = static_cast<ReadCursor*>(png_get_io_ptr(png));
  if (c->Pos + count > c->Data->size()) png_error(png, "read past the end");
  std::memcpy(out, c->Data->data() + c->Pos, count);
  c->Pos += count;
}

void RecordError(png_structp png, png_const_charp message) {
  static_cast<Decoded*>(png_get_error_ptr(png))->Error = message;
  png_longjmp(png, 1);
}

void IgnoreWarning(png_structp, png_const_charp) {}

// Decodes with libpng, untransformed: the palette and the raw indexes.
Decoded DecodeWithLibpng(const std::vector<uint8_t>& file) {
  Decoded d;
  ReadCursor cursor{&file, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &d, RecordError, IgnoreWarning);
  png_infop info = png_create_info_struct(png);
  png_infop end = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png)) == 0) {
    png_set_read_fn(png, &cursor, ReadFromMemory);
    png_read_info(png, info);
    d.Width = png_get_image_width(png, info);
    d.Height = png_get_image_height(png, info);
    d.BitDepth = png_get_bit_depth(png, info);
    d.ColorType = png_get_color_type(png, info);
    d.Interlace = png_get_interlace_type(png, info);
    png_colorp colors = nullptr;
    int count = 0;
    if (png_get_PLTE(png, info, &colors, &count)) d.Palette.assign(colors, colors + count);
    d.Rows.assign(d.Height, std::vector<uint8_t>(png_get_rowbytes(png, info)));
    for (auto& row : d.Rows) png_read_row(png, row.data(), nullptr);
    png_read_end(png, end);
  }
  png_destroy_read_struct(&png, &info, &end);
  return d;
}

uint32_t BigEndian(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

struct Chunk {
  std::string Type;
  std::vector<uint8_t> Data;
  bool CrcOk;
};

// Splits a file into chunks, checking each CRC with zlib's crc32.
std::vector<Chunk> Chunks(const std::vector<uint8_t>& file) {
  std::vector<Chunk> out;
  EXPECT_EQ(0, std::memcmp(file.data(), delivery::kPngSignature, 8));
  size_t pos = 8;
  while (pos + 12 <= file.size()) {
    uint32_t length = BigEndian(&file[pos]);
    if (pos + 12 + length > file.size()) break;
    Chunk c{std::string(file.begin() + pos + 4, file.begin() + pos + 8),
            std::vector<uint8_t>(file.begin() + pos + 8, file.begin() + pos + 8 + length), false};
    uint32_t crc = static_cast<uint32_t>(crc32(0, &file[pos + 4], 4 + length));
    c.CrcOk = crc == BigEndian(&file[pos + 8 + length]);
    out.push_back(std::move(c));
    pos += 12 + length;
  }
  EXPECT_EQ(pos, file.size()) << "no bytes after the last whole chunk";
  return out;
}

std::vector<uint32_t> IdatSizes(const std::vector<Chunk>& chunks) {
  std::vector<uint32_t> sizes;
  for (const Chunk& c : chunks)
    if (c.Type == "IDAT") sizes.push_back(static_cast<uint32_t>(c.Data.size()));
  return sizes;
}

// A stream that takes the first Limit bytes and then writes short.
class ShortStream : public core::TStream {
 public:
  explicit ShortStream(size_t limit) : limit_(limit) {}
  size_t Read(void*, size_t) override { return 0; }
  size_t Write(const void*, size_t count) override {
    size_t take = count <= limit_ - taken_ ? count : limit_ - taken_;
    taken_ += take;
    return take;
  }

 private:
  size_t limit_, taken_ = 0;
};

}  // namespace

TEST(PngCrc, StandardCheckValueAndAgreementWithZlib) {
  const char check[] = "123456789";
  EXPECT_EQ(delivery::UpdatePngCrc(0xFFFFFFFFu, check, 9) ^ 0xFFFFFFFFu, 0xCBF43926u);
  EXPECT_EQ(delivery::UpdatePngCrc(0x12345678u, nullptr, 0), 0x12345678u)
      << "no preset, no complement";

  TestDib noise = MakeDib(4096, 4, 11);
  for (size_t length : {size_t{1}, size_t{255}, size_t{256}, size_t{12289}}) {
    for (size_t cut : {size_t{0}, size_t{1}, length / 2, length}) {
      uint32_t ours = delivery::UpdatePngCrc(0xFFFFFFFFu, noise.Bits.data(), cut);
      ours = delivery::UpdatePngCrc(ours, noise.Bits.data() + cut, length - cut) ^ 0xFFFFFFFFu;
      EXPECT_EQ(ours, crc32(0, noise.Bits.data(), static_cast<uInt>(length)))
          << length << "/" << cut;
    }
  }
}

TEST(PngChunk, LayoutAndTheEndChunkBytes) {
  core::TMemoryStream out;
  delivery::WritePngChunk(out, "IEND", nullptr, 0);
  const std::vector<uint8_t> iend = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
  EXPECT_EQ(out.Data(), iend);

  core::TMemoryStream one;
  const uint8_t data[3] = {1, 2, 3};
  delivery::WritePngChunk(one, "tEXt", data, 3);
  ASSERT_EQ(one.Size(), 15u);
  EXPECT_EQ(BigEndian(one.Data().data()), 3u);
  EXPECT_EQ(std::string(one.Data().begin() + 4, one.Data().begin() + 8), "tEXt");
  EXPECT_EQ(BigEndian(one.Data().data() + 11), crc32(0, one.Data().data() + 4, 7));
}

// One row per width class: a single column, a width that pads by one byte, and a 1366-pixel
// screen (rows of 1368 bytes, two of them padding).
TEST(PngWriter, PixelsAndColoursMatchWhatLibpngDecodes) {
  struct Case {
    uint32_t Width, Height;
  };
  for (Case c : {Case{1, 1}, Case{1, 7}, Case{3, 5}, Case{1366, 768}}) {
    SCOPED_TRACE(testing::Message() << c.Width << "x" << c.Height);
    TestDib dib = MakeDib(c.Width, c.Height, c.Width + c.Height);
    std::vector<uint8_t> file = WritePng(dib.View());
    Decoded d = DecodeWithLibpng(file);
    ASSERT_EQ(d.Error, "");
    EXPECT_EQ(d.Width, c.Width);
    EXPECT_EQ(d.Height, c.Height);
    EXPECT_EQ(d.BitDepth, 8);
    EXPECT_EQ(d.ColorType, PNG_COLOR_TYPE_PALETTE);
    EXPECT_EQ(d.Interlace, PNG_INTERLACE_NONE);
    ASSERT_EQ(d.Palette.size(), 256u);
    for (int i = 0; i < 256; ++i) {
      EXPECT_EQ(d.Palette[i].red, dib.Colors[i * 4 + 2]) << i;
      EXPECT_EQ(d.Palette[i].green, dib.Colors[i * 4 + 1]) << i;
      EXPECT_EQ(d.Palette[i].blue, dib.Colors[i * 4]) << i;
    }
    size_t wrong = 0;
    for (uint32_t y = 0; y < c.Height; ++y) {
      ASSERT_EQ(d.Rows[y].size(), c.Width);
      for (uint32_t x = 0; x < c.Width; ++x) wrong += d.Rows[y][x] != dib.At(x, y);
    }
    EXPECT_EQ(wrong, 0u);

    // The chunk sequence, each CRC, and the image data byte for byte.
    std::vector<Chunk> chunks = Chunks(file);
    ASSERT_GE(chunks.size(), 4u);
    EXPECT_EQ(chunks[0].Type, "IHDR");
    EXPECT_EQ(chunks[0].Data,
              (std::vector<uint8_t>{0, 0, uint8_t(c.Width >> 8), uint8_t(c.Width), 0, 0,
                                    uint8_t(c.Height >> 8), uint8_t(c.Height), 8, 3, 0, 0, 0}));
    EXPECT_EQ(chunks[1].Type, "PLTE");
    EXPECT_EQ(chunks[1].Data.size(), 768u);
    std::vector<uint8_t> stream;
    for (size_t i = 2; i + 1 < chunks.size(); ++i) {
      EXPECT_EQ(chunks[i].Type, "IDAT");
      stream.insert(stream.end(), chunks[i].Data.begin(), chunks[i].Data.end());
    }
    EXPECT_EQ(chunks.back().Type, "IEND");
    for (const Chunk& ch : chunks) EXPECT_TRUE(ch.CrcOk) << ch.Type;
    std::vector<uint8_t> expected;
    for (uint32_t y = 0; y < c.Height; ++y) {
      expected.push_back(0);
      for (uint32_t x = 0; x < c.Width; ++x) expected.push_back(dib.At(x, y));
    }
    EXPECT_EQ(zlibwrap::DecompressBuf(stream.data(), stream.size(), expected.size()), expected);
    EXPECT_EQ(stream[0], 0x78);
    EXPECT_EQ(stream[1], 0xDA) << "level 9 with zlib's default window";
    EXPECT_EQ(std::vector<uint8_t>(file.end() - 12, file.end()),
              (std::vector<uint8_t>{0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82}));
  }
  EXPECT_EQ(zlibwrap::LiveAllocations(), 0);
}

// The image data is cut into IDAT chunks of 262143 bytes. The picture is 1000 lines of 1000
// pixels, the first N of them noise (incompressible) and the rest 0; N is searched so that the
// zlib stream is exactly 2 x 262143 + 1 bytes long.
TEST(PngWriter, ImageDataIsCutIntoChunksOf262143Bytes) {
  const uint32_t side = 1000;
  TestDib dib = MakeDib(side, side, 5);
  std::vector<uint8_t> noise(dib.Bits.size());
  unsigned r = 99;
  for (auto& b : noise) {
    r = r * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(r >> 24);
  }
  auto streamSize = [&](size_t n, std::vector<uint32_t>* sizes) {
    // Screen order: the top line is the last row of the bitmap.
    for (size_t i = 0; i < dib.Bits.size(); ++i) {
      size_t y = i / side, x = i % side;
      dib.Bits[(side - 1 - y) * side + x] = i < n ? noise[i] : 0;
    }
    std::vector<uint8_t> file = WritePng(dib.View());
    std::vector<uint32_t> cut = IdatSizes(Chunks(file));
    if (sizes) *sizes = cut;
    size_t total = 0;
    for (uint32_t s : cut) total += s;
    return total;
  };

  const size_t target = 2 * kPngIdatSize + 1;
  size_t lo = 0, hi = dib.Bits.size();
  while (lo < hi) {  // the smallest N whose stream reaches the target
    size_t mid = (lo + hi) / 2;
    if (streamSize(mid, nullptr) < target)
      lo = mid + 1;
    else
      hi = mid;
  }
  std::vector<uint32_t> sizes;
  size_t found = 0;
  for (size_t n = lo; n > 0 && n + 64 > lo && !found; --n)
    if (streamSize(n, &sizes) == target) found = n;
  ASSERT_NE(found, 0u) << "no noise length gives a stream of exactly " << target << " bytes";
  EXPECT_EQ(sizes, (std::vector<uint32_t>{262143, 262143, 1}));

  // Shorter than one chunk: exactly one IDAT.
  streamSize(1000, &sizes);
  ASSERT_EQ(sizes.size(), 1u);
  EXPECT_LT(sizes[0], kPngIdatSize);
  // Exactly one full chunk, or one plus a tail: never an empty IDAT.
  for (size_t n = lo / 2 - 6; n < lo / 2 + 6; ++n) {
    streamSize(n, &sizes);
    for (uint32_t s : sizes) EXPECT_GT(s, 0u);
    for (size_t i = 0; i + 1 < sizes.size(); ++i) EXPECT_EQ(sizes[i], kPngIdatSize);
  }
}

// Every write of the file in turn comes up short: each raises EWriteError and zlib's memory is
// given back.
TEST(PngWriter, EveryShortWriteRaisesAndReleases) {
  TestDib dib = MakeDib(700, 900, 3);
  for (size_t noise = 0; noise < dib.Bits.size(); noise += 3)
    dib.Bits[noise] ^= static_cast<uint8_t>(noise * 31);
  const size_t full = WritePng(dib.View()).size();
  ASSERT_GT(full, kPngIdatSize + 1000) << "the picture needs two IDAT chunks";
  for (size_t limit :
       {size_t{0}, size_t{7}, size_t{8}, size_t{20}, size_t{33}, size_t{33 + 800},
        size_t{33 + 12 + 768 + 4}, size_t{33 + 12 + 768 + 8 + 1000}, full - 13, full - 1}) {
    ShortStream out(limit);
    EXPECT_THROW(delivery::WritePaletteDibAsPng(out, dib.View()), EWriteError) << limit;
    EXPECT_EQ(zlibwrap::LiveAllocations(), 0) << limit;
  }
  ShortStream enough(full);
  EXPECT_NO_THROW(delivery::WritePaletteDibAsPng(enough, dib.View()));
}

TEST(PngWriter, EmptyPictureIsRefused) {
  TestDib dib = MakeDib(4, 4, 1);
  core::TMemoryStream out;
  EXPECT_THROW(delivery::WritePaletteDibAsPng(out, {0, 4, dib.Colors.data(), dib.Bits.data()}),
               EStreamError);
  EXPECT_THROW(delivery::WritePaletteDibAsPng(out, {4, 0, dib.Colors.data(), dib.Bits.data()}),
               EStreamError);
  EXPECT_EQ(out.Size(), 0u) << "nothing written";
}
