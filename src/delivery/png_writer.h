// The screenshot's PNG encoder: an 8-bit palette image written chunk by chunk onto a stream.
// The chunks and their CRCs are built here; zlib only deflates the image data.
//
// File layout: signature; IHDR (width, height, bit depth 8, colour type 3, methods 0); PLTE
// with all 256 colours; the zlib stream of the image data cut into IDAT chunks of
// kPngIdatSize bytes (the last one shorter); IEND. Image data: from the top line down, one
// filter byte 0 (no filter) and the line's palette indexes.
//
// Every write that the stream does not take whole raises EWriteError; nothing here hides a
// failure, and zlib's state is given back on every path.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/byte_stream.h"
#include "zlibwrap/deflater.h"

namespace vl::delivery {

constexpr size_t kPngIdatSize = 262143;  // 0x3FFFF
constexpr int kPngLevel = 9;
constexpr uint8_t kPngSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

// CRC-32 of the PNG format (reflected polynomial 0xEDB88320), table-driven: for each byte
// crc := table[(crc xor byte) and 0xFF] xor (crc shr 8). No preset and no final complement: the
// caller starts from 0xFFFFFFFF and complements the result. The table is made on the first call
// (with seven derived ones that take eight bytes per step, giving the same result).
uint32_t UpdatePngCrc(uint32_t crc, const void* bytes, size_t count);

// Writes Count bytes or raises EWriteError.
void WriteBuffer(core::TStream& stream, const void* data, size_t count);

// Writes one chunk: data length (big-endian), the four letters of Type, the data, and the CRC
// over type and data.
void WritePngChunk(core::TStream& stream, const char type[4], const void* data, uint32_t length);

// The deflate stream of the image data, written out as IDAT chunks of BufferSize bytes.
class TPngDeflate {
 public:
  TPngDeflate(core::TStream& stream, int level, size_t bufferSize);
  // Deflates the next piece of image data; full buffers leave as IDAT chunks.
  void Feed(const void* data, size_t count);
  // Ends the zlib stream and writes the remaining IDAT chunks.
  void Finish();

 private:
  zlibwrap::TDeflater deflater_;
};

// Starts the image data's zlib stream at Level over an output buffer of BufferSize bytes.
inline TPngDeflate BeginPngDeflate(core::TStream& stream, int level, size_t bufferSize) {
  return TPngDeflate(stream, level, bufferSize);
}

// An 8-bit device-independent bitmap as the system hands it out: Height rows bottom-up (the
// first row in memory is the picture's bottom line), each padded to a multiple of 4 bytes;
// ColorTable holds 256 entries of blue, green, red, reserved.
struct TPaletteDib {
  uint32_t Width = 0;
  uint32_t Height = 0;
  const uint8_t* ColorTable = nullptr;  // 1024 bytes
  const uint8_t* Bits = nullptr;        // DibStride(Width) * Height bytes
};

// Bytes per bitmap row: Width rounded up to a multiple of 4.
constexpr size_t DibStride(uint32_t width) { return (static_cast<size_t>(width) + 3) & ~size_t{3}; }

// Writes the whole PNG file of Dib: signature, IHDR, PLTE (colours reordered to red, green,
// blue), IDAT chunks of kPngIdatSize bytes at level 9, IEND. Raises EWriteError (short write),
// zlibwrap::ECompressionError, or EStreamError for an empty or oversized picture.
void WritePaletteDibAsPng(core::TStream& stream, const TPaletteDib& dib);

}  // namespace vl::delivery
