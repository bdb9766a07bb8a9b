#include "binary/byte_reader.h"

#include <cstring>

namespace vl::binary {

namespace {

constexpr unsigned kMaxLebBytes = 20;

}  // namespace

bool TByteSpan::Sub(uint64_t offset, uint64_t length, TByteSpan& part) const {
  if (!Holds(offset, length)) return false;
  part = TByteSpan{Data + offset, static_cast<size_t>(length)};
  return true;
}

bool TByteSpan::U16At(uint64_t offset, uint16_t& value) const {
  if (!Holds(offset, 2)) return false;
  value = LoadU16(Data + offset);
  return true;
}

bool TByteSpan::U32At(uint64_t offset, uint32_t& value) const {
  if (!Holds(offset, 4)) return false;
  value = LoadU32(Data + offset);
  return true;
}

const char* FailureText(TReadFailure failure) {
  switch (failure) {
    case TReadFailure::rfNone:
      return "no failure";
    case TReadFailure::rfPastEnd:
      return "past the end";
    case TReadFailure::rfLebTooLong:
      return "LEB128 value too long";
    case TReadFailure::rfLebOverflow:
      return "LEB128 value exceeds 64 bits";
    case TReadFailure::rfNoTerminator:
      return "string without terminator";
  }
  return "unknown failure";
}

bool TByteReader::Seek(uint64_t position) {
  if (position > size_) return Fail(TReadFailure::rfPastEnd);
  pos_ = static_cast<size_t>(position);
  return true;
}

bool TByteReader::Skip(uint64_t count) {
  if (!Need(count)) return false;
  pos_ += static_cast<size_t>(count);
  return true;
}

bool TByteReader::Take(uint64_t count, TByteSpan& part) {
  if (!Need(count)) return false;
  part = TByteSpan{data_ + pos_, static_cast<size_t>(count)};
  pos_ += static_cast<size_t>(count);
  return true;
}

bool TByteReader::Take(uint64_t count, const uint8_t*& part) {
  TByteSpan span;
  if (!Take(count, span)) return false;
  part = span.Data;
  return true;
}

bool TByteReader::Split(uint64_t count, TByteReader& part) {
  TByteSpan span;
  if (!Take(count, span)) return false;
  part = TByteReader(span);
  return true;
}

bool TByteReader::ReadUnsigned(unsigned size, uint64_t& value) {
  if (size == 0 || size > 8 || !Need(size)) return Fail(TReadFailure::rfPastEnd);
  uint64_t v = 0;
  for (unsigned i = 0; i < size; ++i) v |= static_cast<uint64_t>(data_[pos_ + i]) << (8 * i);
  pos_ += size;
  value = v;
  return true;
}

bool TByteReader::ReadU8(uint8_t& value) {
  if (!Need(1)) return false;
  value = data_[pos_++];
  return true;
}

bool TByteReader::ReadU16(uint16_t& value) {
  if (!Need(2)) return false;
  value = LoadU16(data_ + pos_);
  pos_ += 2;
  return true;
}

bool TByteReader::ReadU24(uint32_t& value) {
  uint64_t v;
  if (!ReadUnsigned(3, v)) return false;
  value = static_cast<uint32_t>(v);
  return true;
}

bool TByteReader::ReadU32(uint32_t& value) {
  if (!Need(4)) return false;
  value = LoadU32(data_ + pos_);
  pos_ += 4;
  return true;
}

bool TByteReader::ReadU64(uint64_t& value) {
  if (!Need(8)) return false;
  value = LoadU64(data_ + pos_);
  pos_ += 8;
  return true;
}

bool TByteReader::ReadI32(int32_t& value) {
  uint32_t raw;
  if (!ReadU32(raw)) return false;
  value = static_cast<int32_t>(raw);
  return true;
}

bool TByteReader::ReadUleb(uint64_t& value) {
  uint64_t v = 0;
  for (unsigned i = 0; i < kMaxLebBytes; ++i) {
    if (pos_ + i >= size_) return Fail(TReadFailure::rfPastEnd);
    const uint8_t byte = data_[pos_ + i];
    const uint64_t part = byte & 0x7f;
    const unsigned shift = 7 * i;
    if (shift < 64) {
      if (shift > 57 && (part >> (64 - shift)) != 0) return Fail(TReadFailure::rfLebOverflow);
      v |= part << shift;
    } else if (part != 0) {
      return Fail(TReadFailure::rfLebOverflow);
    }
    if ((byte & 0x80) == 0) {
      pos_ += i + 1;
      value = v;
      return true;
    }
  }
  return Fail(TReadFailure::rfLebTooLong);
}

bool TByteReader::ReadSleb(int64_t& value) {
  uint64_t v = 0;
  for (unsigned i = 0; i < kMaxLebBytes; ++i) {
    if (pos_ + i >= size_) return Fail(TReadFailure::rfPastEnd);
    const uint8_t byte = data_[pos_ + i];
    const unsigned shift = 7 * i;
    if (shift < 64) v |= static_cast<uint64_t>(byte & 0x7f) << shift;
    if ((byte & 0x80) == 0) {
      if (shift + 7 < 64 && (byte & 0x40)) v |= ~uint64_t{0} << (shift + 7);
      pos_ += i + 1;
      value = static_cast<int64_t>(v);
      return true;
    }
  }
  return Fail(TReadFailure::rfLebTooLong);
}

bool TByteReader::ReadCString(std::string& value) {
  const void* end = AtEnd() ? nullptr : std::memchr(data_ + pos_, 0, Remaining());
  if (end == nullptr) return Fail(TReadFailure::rfNoTerminator);
  const size_t length = static_cast<size_t>(static_cast<const uint8_t*>(end) - (data_ + pos_));
  value.assign(reinterpret_cast<const char*>(data_ + pos_), length);
  pos_ += length + 1;
  return true;
}

bool TByteReader::ReadShortStringView(const uint8_t*& text, size_t& length) {
  if (Remaining() < 1 || Remaining() - 1 < data_[pos_]) return Fail(TReadFailure::rfPastEnd);
  length = data_[pos_];
  text = data_ + pos_ + 1;
  pos_ += 1 + length;
  return true;
}

bool TByteReader::ReadShortString(std::string& value, uint8_t mask) {
  const uint8_t* text;
  size_t length;
  if (!ReadShortStringView(text, length)) return false;
  value.assign(reinterpret_cast<const char*>(text), length);
  MaskBytes(value, mask);
  return true;
}

bool TByteReader::ReadLongString(std::string& value, uint8_t mask) {
  const size_t start = pos_;
  uint32_t length;
  const uint8_t* text;
  if (!ReadU32(length)) return false;
  if (!Take(length, text)) {
    pos_ = start;
    return false;
  }
  value.assign(reinterpret_cast<const char*>(text), length);
  MaskBytes(value, mask);
  return true;
}

void MaskBytes(std::string& text, uint8_t mask) {
  if (mask == 0) return;
  for (char& c : text) c = static_cast<char>(static_cast<uint8_t>(c) ^ mask);
}

bool StringAt(TByteSpan table, uint64_t offset, std::string& value) {
  TByteReader reader(table);
  return reader.Seek(offset) && reader.ReadCString(value);
}

}  // namespace vl::binary
