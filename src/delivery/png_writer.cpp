#include "delivery/png_writer.h"

#include <array>

#include "core/trace.h"

namespace vl::delivery {

namespace {

// Entry [0] is the CRC table of the PNG format; entry [k] gives a byte's effect k bytes further
// on, so that eight bytes are taken in one step with the same result as eight single steps.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

CrcTables MakeCrcTables() {
  CrcTables t{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][n] = c;
  }
  for (uint32_t n = 0; n < 256; ++n)
    for (int k = 1; k < 8; ++k) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
  return t;
}

uint32_t LittleEndian(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

void PutBigEndian(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value >> 24);
  at[1] = static_cast<uint8_t>(value >> 16);
  at[2] = static_cast<uint8_t>(value >> 8);
  at[3] = static_cast<uint8_t>(value);
}

// PNG limits a dimension to 2^31 - 1.
constexpr uint32_t kMaxDimension = 0x7FFFFFFFu;

}  // namespace

uint32_t UpdatePngCrc(uint32_t crc, const void* bytes, size_t count) {
  // Made once, on the first request of the process; the language guarantees one initialisation
  // even when two threads ask at once.
  static const CrcTables t = MakeCrcTables();
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  for (; count >= 8; p += 8, count -= 8) {
    uint32_t one = LittleEndian(p) ^ crc;
    uint32_t two = LittleEndian(p + 4);
    crc = t[7][one & 0xFF] ^ t[6][(one >> 8) & 0xFF] ^ t[5][(one >> 16) & 0xFF] ^ t[4][one >> 24] ^
          t[3][two & 0xFF] ^ t[2][(two >> 8) & 0xFF] ^ t[1][(two >> 16) & 0xFF] ^ t[0][two >> 24];
  }
  for (; count > 0; ++p, --count) crc = t[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
  return crc;
}

void WriteBuffer(core::TStream& stream, const void* data, size_t count) {
  if (count == 0) return;
  if (stream.Write(data, count) != count) throw EWriteError();
}

void WritePngChunk(core::TStream& stream, const char type[4], const void* data, uint32_t length) {
  uint8_t head[8];
  PutBigEndian(head, length);
  for (int i = 0; i < 4; ++i) head[4 + i] = static_cast<uint8_t>(type[i]);
  uint32_t crc = UpdatePngCrc(0xFFFFFFFFu, head + 4, 4);
  crc = UpdatePngCrc(crc, data, length) ^ 0xFFFFFFFFu;
  uint8_t tail[4];
  PutBigEndian(tail, crc);
  WriteBuffer(stream, head, sizeof head);
  WriteBuffer(stream, data, length);
  WriteBuffer(stream, tail, sizeof tail);
}

TPngDeflate::TPngDeflate(core::TStream& stream, int level, size_t bufferSize)
    : deflater_(level, bufferSize, [&stream](const uint8_t* data, size_t size) {
        WritePngChunk(stream, "IDAT", data, static_cast<uint32_t>(size));
      }) {}

void TPngDeflate::Feed(const void* data, size_t count) { deflater_.Feed(data, count); }

void TPngDeflate::Finish() { deflater_.Finish(); }

void WritePaletteDibAsPng(core::TStream& stream, const TPaletteDib& dib) {
  Trace("WritePaletteDibAsPng", {dib.Width, dib.Height}, 2);
  if (dib.Width == 0 || dib.Height == 0 || dib.Width > kMaxDimension || dib.Height > kMaxDimension)
    throw EStreamError(Format("Cannot write a %ux%u picture", dib.Width, dib.Height));

  WriteBuffer(stream, kPngSignature, sizeof kPngSignature);

  uint8_t header[13];
  PutBigEndian(header, dib.Width);
  PutBigEndian(header + 4, dib.Height);
  header[8] = 8;   // bits per index
  header[9] = 3;   // indexed colour
  header[10] = 0;  // deflate
  header[11] = 0;  // adaptive filtering (every line says "none")
  header[12] = 0;  // not interlaced
  WritePngChunk(stream, "IHDR", header, sizeof header);

  uint8_t palette[256 * 3];
  for (int i = 0; i < 256; ++i) {
    palette[i * 3] = dib.ColorTable[i * 4 + 2];
    palette[i * 3 + 1] = dib.ColorTable[i * 4 + 1];
    palette[i * 3 + 2] = dib.ColorTable[i * 4];
  }
  WritePngChunk(stream, "PLTE", palette, sizeof palette);

  TPngDeflate data = BeginPngDeflate(stream, kPngLevel, kPngIdatSize);
  const size_t stride = DibStride(dib.Width);
  const uint8_t noFilter = 0;
  for (uint32_t line = 0; line < dib.Height; ++line) {
    data.Feed(&noFilter, 1);
    data.Feed(dib.Bits + static_cast<size_t>(dib.Height - 1 - line) * stride, dib.Width);
  }
  data.Finish();

  WritePngChunk(stream, "IEND", nullptr, 0);
  Trace("WritePaletteDibAsPng=", {}, -2);
}

}  // namespace vl::delivery
