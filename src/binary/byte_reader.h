// The one bounded little-endian reader of untrusted bytes (module images, data blocks, debug
// information, DWARF sections, virtual files). It never reads outside the bytes it was given and
// never raises, allocates only in the string helpers, and so may run while a crash is handled.
// A failed read returns false, leaves the position where it was and records why (Failure()).
// Code that prefers exceptions wraps it in TCheckedReader (checked_reader.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vl::binary {

// Little-endian values at P (which must hold the bytes).
inline uint16_t LoadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t LoadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline uint64_t LoadU64(const uint8_t* p) {
  return LoadU32(p) | static_cast<uint64_t>(LoadU32(p + 4)) << 32;
}

// A view of bytes owned elsewhere. Offsets are taken as 64-bit values so that a huge value read
// from a header cannot wrap around on a 32-bit host.
struct TByteSpan {
  const uint8_t* Data = nullptr;
  size_t Size = 0;

  bool Empty() const { return Size == 0; }
  bool Holds(uint64_t offset, uint64_t length) const {
    return offset <= Size && length <= Size - offset;
  }
  // The Length bytes at Offset; false (Part unchanged) when they are not all there.
  bool Sub(uint64_t offset, uint64_t length, TByteSpan& part) const;
  // Values at an offset, without a reader.
  bool U16At(uint64_t offset, uint16_t& value) const;
  bool U32At(uint64_t offset, uint32_t& value) const;
};

// Why the last read of a reader failed.
enum class TReadFailure : uint8_t {
  rfNone,
  rfPastEnd,       // fewer bytes left than the read needs
  rfLebTooLong,    // a LEB128 value of more than 20 bytes
  rfLebOverflow,   // a LEB128 value beyond 64 bits
  rfNoTerminator,  // a C string without its NUL inside the bytes
};

// A short text for a failure ("past the end", ...).
const char* FailureText(TReadFailure failure);

class TByteReader {
 public:
  TByteReader() = default;
  TByteReader(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}
  explicit TByteReader(TByteSpan span) : TByteReader(span.Data, span.Size) {}

  size_t Position() const { return pos_; }
  size_t Size() const { return size_; }
  size_t Remaining() const { return size_ - pos_; }
  bool AtEnd() const { return pos_ >= size_; }
  const uint8_t* Current() const { return data_ + pos_; }
  TByteSpan Span() const { return TByteSpan{data_, size_}; }
  TReadFailure Failure() const { return failure_; }

  bool Seek(uint64_t position);
  bool Skip(uint64_t count);
  // The next Count bytes, which the reader then passes.
  bool Take(uint64_t count, TByteSpan& part);
  bool Take(uint64_t count, const uint8_t*& part);
  // A reader over the next Count bytes, which this reader then passes.
  bool Split(uint64_t count, TByteReader& part);

  bool ReadU8(uint8_t& value);
  bool ReadU16(uint16_t& value);
  bool ReadU24(uint32_t& value);
  bool ReadU32(uint32_t& value);
  bool ReadU64(uint64_t& value);
  bool ReadI32(int32_t& value);
  // An unsigned value of Size bytes (1 to 8).
  bool ReadUnsigned(unsigned size, uint64_t& value);
  // LEB128 values of at most 20 bytes; an unsigned one must fit 64 bits.
  bool ReadUleb(uint64_t& value);
  bool ReadSleb(int64_t& value);
  // A NUL-terminated string; the terminator must lie inside the bytes and is passed.
  bool ReadCString(std::string& value);
  // One length byte, then that many bytes: as a view (left as stored), or as text with every
  // byte combined by exclusive-or with Mask (0: as stored).
  bool ReadShortStringView(const uint8_t*& text, size_t& length);
  bool ReadShortString(std::string& value, uint8_t mask);
  // A 32-bit length, then that many bytes, unmasked as above.
  bool ReadLongString(std::string& value, uint8_t mask);

 private:
  bool Fail(TReadFailure failure) {
    failure_ = failure;
    return false;
  }
  bool Need(uint64_t count) { return count <= Remaining() || Fail(TReadFailure::rfPastEnd); }

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t pos_ = 0;
  TReadFailure failure_ = TReadFailure::rfNone;
};

// Combines every byte of Text with Mask by exclusive-or (the same call masks and unmasks).
void MaskBytes(std::string& text, uint8_t mask);

// The NUL-terminated string at Offset of a string table; false when the offset or the
// terminator lies outside it.
bool StringAt(TByteSpan table, uint64_t offset, std::string& value);

}  // namespace vl::binary
