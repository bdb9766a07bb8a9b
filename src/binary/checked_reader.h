// The raising form of the bounded reader, for code that reports malformed input as an error
// of its own class (the data block, the post-build tool): every read that TByteReader refuses
// raises Error with a message that names the region, the offset and, where the caller gives
// one, the field ("debug information: 4 bytes needed at offset 0x10 of the payload, 2 left").
// Error is an exception class constructible from a std::string.
#pragma once

#include <cstdint>
#include <string>

#include "binary/byte_reader.h"

namespace vl::binary {

// "0x1f".
std::string HexText(uint64_t value);
// The message of a failed read (see above); What may be null.
std::string ReadFailureMessage(const char* region, size_t position, size_t remaining,
                               uint64_t needed, TReadFailure failure, const char* what);

template <class Error>
class TCheckedReader {
 public:
  TCheckedReader(TByteSpan span, const char* region) : in_(span), region_(region) {}
  TCheckedReader(const uint8_t* data, size_t size, const char* region)
      : in_(data, size), region_(region) {}

  size_t Position() const { return in_.Position(); }
  size_t Remaining() const { return in_.Remaining(); }
  bool AtEnd() const { return in_.AtEnd(); }
  const uint8_t* Current() const { return in_.Current(); }
  TByteSpan Span() const { return in_.Span(); }
  const char* Name() const { return region_; }

  void Seek(uint64_t position, const char* what = nullptr) {
    Check(in_.Seek(position), position > in_.Position() ? position - in_.Position() : 0, what);
  }
  void Skip(uint64_t count, const char* what = nullptr) { Check(in_.Skip(count), count, what); }
  TByteSpan Take(uint64_t count, const char* what = nullptr) {
    TByteSpan part;
    Check(in_.Take(count, part), count, what);
    return part;
  }
  uint8_t U8(const char* what = nullptr) { return Read<uint8_t>(&TByteReader::ReadU8, 1, what); }
  uint16_t U16(const char* what = nullptr) {
    return Read<uint16_t>(&TByteReader::ReadU16, 2, what);
  }
  uint32_t U24(const char* what = nullptr) {
    return Read<uint32_t>(&TByteReader::ReadU24, 3, what);
  }
  uint32_t U32(const char* what = nullptr) {
    return Read<uint32_t>(&TByteReader::ReadU32, 4, what);
  }
  uint64_t U64(const char* what = nullptr) {
    return Read<uint64_t>(&TByteReader::ReadU64, 8, what);
  }
  int32_t I32(const char* what = nullptr) { return Read<int32_t>(&TByteReader::ReadI32, 4, what); }
  int8_t S8(const char* what = nullptr) { return static_cast<int8_t>(U8(what)); }
  uint64_t Unsigned(unsigned size, const char* what = nullptr) {
    uint64_t value = 0;
    Check(in_.ReadUnsigned(size, value), size, what);
    return value;
  }
  uint64_t Uleb(const char* what = nullptr) {
    return Read<uint64_t>(&TByteReader::ReadUleb, 1, what);
  }
  int64_t Sleb(const char* what = nullptr) {
    return Read<int64_t>(&TByteReader::ReadSleb, 1, what);
  }
  std::string CString(const char* what = nullptr) {
    std::string value;
    Check(in_.ReadCString(value), 1, what);
    return value;
  }

  // Raises Error "<region> at offset <position>: <message>".
  [[noreturn]] void Fail(const std::string& message) const {
    throw Error(std::string(region_) + " at offset " + HexText(in_.Position()) + ": " + message);
  }

 private:
  template <class T>
  T Read(bool (TByteReader::*read)(T&), uint64_t needed, const char* what) {
    T value{};
    Check((in_.*read)(value), needed, what);
    return value;
  }
  void Check(bool ok, uint64_t needed, const char* what) const {
    if (!ok) {
      throw Error(ReadFailureMessage(region_, in_.Position(), in_.Remaining(), needed,
                                     in_.Failure(), what));
    }
  }

  TByteReader in_;
  const char* region_;
};

// The Length bytes at Offset of Span, or Error naming What.
template <class Error>
TByteSpan CheckedSub(TByteSpan span, uint64_t offset, uint64_t length, const char* what) {
  TByteSpan part;
  if (!span.Sub(offset, length, part)) {
    throw Error(std::string(what) + ": range " + HexText(offset) + "+" + HexText(length) +
                " lies outside the " + HexText(span.Size) + " bytes available");
  }
  return part;
}

// The bytes from Offset to the end of Span, or Error naming What.
template <class Error>
TByteSpan CheckedFrom(TByteSpan span, uint64_t offset, const char* what) {
  if (offset > span.Size) {
    throw Error(std::string(what) + ": offset " + HexText(offset) + " lies outside the " +
                HexText(span.Size) + " bytes available");
  }
  return TByteSpan{span.Data + offset, static_cast<size_t>(span.Size - offset)};
}

// The NUL-terminated string at Offset of a string table, or Error naming the table.
template <class Error>
std::string CheckedStringAt(TByteSpan table, uint64_t offset, const char* tableName) {
  TCheckedReader<Error> reader(table, tableName);
  reader.Seek(offset);
  return reader.CString();
}

}  // namespace vl::binary
