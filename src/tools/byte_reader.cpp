#include "tools/byte_reader.h"

#include <cstring>

namespace vl::tools {

namespace {

std::string Hex(uint64_t value) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  do {
    text.insert(text.begin(), digits[value & 15]);
    value >>= 4;
  } while (value != 0);
  return "0x" + text;
}

}  // namespace

ByteSpan ByteSpan::Sub(uint64_t offset, uint64_t length, const char* what) const {
  if (offset > Size || length > Size - offset) {
    throw EDebugFormatError(std::string(what) + ": range " + Hex(offset) + "+" + Hex(length) +
                            " lies outside the " + Hex(Size) + " bytes available");
  }
  return ByteSpan{Data + offset, static_cast<size_t>(length)};
}

ByteSpan ByteSpan::From(uint64_t offset, const char* what) const {
  if (offset > Size) {
    throw EDebugFormatError(std::string(what) + ": offset " + Hex(offset) + " lies outside the " +
                            Hex(Size) + " bytes available");
  }
  return ByteSpan{Data + offset, static_cast<size_t>(Size - offset)};
}

void ByteReader::Fail(const std::string& message) const {
  throw EDebugFormatError(std::string(name_) + " at offset " + Hex(pos_) + ": " + message);
}

void ByteReader::Need(uint64_t count) const {
  if (count > Remaining()) Fail("needs " + std::to_string(count) + " bytes past the end");
}

void ByteReader::Seek(uint64_t position) {
  if (position > span_.Size) Fail("seek to " + Hex(position) + " past the end");
  pos_ = static_cast<size_t>(position);
}

void ByteReader::Skip(uint64_t count) {
  Need(count);
  pos_ += static_cast<size_t>(count);
}

uint8_t ByteReader::U8() {
  Need(1);
  return span_.Data[pos_++];
}

uint64_t ByteReader::Unsigned(unsigned size) {
  Need(size);
  uint64_t value = 0;
  for (unsigned i = 0; i < size; ++i)
    value |= static_cast<uint64_t>(span_.Data[pos_ + i]) << (8 * i);
  pos_ += size;
  return value;
}

uint16_t ByteReader::U16() { return static_cast<uint16_t>(Unsigned(2)); }
uint32_t ByteReader::U24() { return static_cast<uint32_t>(Unsigned(3)); }
uint32_t ByteReader::U32() { return static_cast<uint32_t>(Unsigned(4)); }
uint64_t ByteReader::U64() { return Unsigned(8); }

uint64_t ByteReader::Uleb() {
  uint64_t value = 0;
  unsigned shift = 0;
  for (;;) {
    uint8_t byte = U8();
    if (shift < 64) {
      uint64_t part = static_cast<uint64_t>(byte & 0x7f);
      if (shift > 57 && (part >> (64 - shift)) != 0) Fail("LEB128 value exceeds 64 bits");
      value |= part << shift;
    } else if ((byte & 0x7f) != 0) {
      Fail("LEB128 value exceeds 64 bits");
    }
    shift += 7;
    if ((byte & 0x80) == 0) return value;
    if (shift > 7 * 20) Fail("LEB128 value too long");
  }
}

int64_t ByteReader::Sleb() {
  uint64_t value = 0;
  unsigned shift = 0;
  uint8_t byte;
  do {
    byte = U8();
    if (shift < 64) value |= static_cast<uint64_t>(byte & 0x7f) << shift;
    shift += 7;
    if (shift > 7 * 20) Fail("LEB128 value too long");
  } while (byte & 0x80);
  if (shift < 64 && (byte & 0x40)) value |= ~uint64_t{0} << shift;
  return static_cast<int64_t>(value);
}

std::string ByteReader::CString() {
  if (AtEnd()) Fail("string without terminator");
  const void* end = std::memchr(span_.Data + pos_, 0, Remaining());
  if (end == nullptr) Fail("string without terminator");
  size_t length = static_cast<const uint8_t*>(end) - (span_.Data + pos_);
  std::string text(reinterpret_cast<const char*>(span_.Data + pos_), length);
  pos_ += length + 1;
  return text;
}

ByteSpan ByteReader::Take(uint64_t count) {
  Need(count);
  ByteSpan part{span_.Data + pos_, static_cast<size_t>(count)};
  pos_ += static_cast<size_t>(count);
  return part;
}

std::string StringAt(ByteSpan section, uint64_t offset, const char* sectionName) {
  ByteReader reader(section, sectionName);
  reader.Seek(offset);
  return reader.CString();
}

}  // namespace vl::tools
