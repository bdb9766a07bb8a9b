// Bounded little-endian reading of untrusted bytes (a PE file, its debug sections). Every read
// checks the remaining length first and raises EDebugFormatError, naming what was read and
// where, instead of reading past the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/exceptions.h"

namespace vl::tools {

// A malformed or unsupported PE file or debug section.
class EDebugFormatError : public Exception {
  using Exception::Exception;
};

// A view of bytes owned elsewhere.
struct ByteSpan {
  const uint8_t* Data = nullptr;
  size_t Size = 0;

  bool Empty() const { return Size == 0; }
  // The part from Offset on, Length bytes long; out of range raises with What in the message.
  ByteSpan Sub(uint64_t offset, uint64_t length, const char* what) const;
  ByteSpan From(uint64_t offset, const char* what) const;
};

// Sequential reader over a span. Name is the region's name used in error messages
// (".debug_line", "PE header").
class ByteReader {
 public:
  ByteReader(ByteSpan span, const char* name) : span_(span), name_(name) {}

  size_t Position() const { return pos_; }
  size_t Remaining() const { return span_.Size - pos_; }
  bool AtEnd() const { return pos_ >= span_.Size; }
  ByteSpan Span() const { return span_; }
  const char* Name() const { return name_; }

  void Seek(uint64_t position);
  void Skip(uint64_t count);

  uint8_t U8();
  uint16_t U16();
  uint32_t U24();
  uint32_t U32();
  uint64_t U64();
  int8_t S8() { return static_cast<int8_t>(U8()); }
  // An unsigned value of Size bytes (1, 2, 4 or 8).
  uint64_t Unsigned(unsigned size);
  uint64_t Uleb();
  int64_t Sleb();
  // A NUL-terminated string; the terminator must lie inside the span.
  std::string CString();
  // The next Count bytes as a span, the position moves past them.
  ByteSpan Take(uint64_t count);

  // Raises EDebugFormatError "<name> at offset <pos>: <message>".
  [[noreturn]] void Fail(const std::string& message) const;

 private:
  void Need(uint64_t count) const;

  ByteSpan span_;
  const char* name_;
  size_t pos_ = 0;
};

// The NUL-terminated string at Offset of a string section.
std::string StringAt(ByteSpan section, uint64_t offset, const char* sectionName);

}  // namespace vl::tools
