// The post-build tool's error for malformed input, and its names for the bounded reader: every
// read of a PE file or a debug section that runs out of its bytes raises EDebugFormatError,
// naming the region, the offset and what was read.
#pragma once

#include <cstdint>
#include <string>

#include "binary/checked_reader.h"
#include "runtime/exceptions.h"

namespace vl::tools {

// A malformed or unsupported PE file or debug section.
class EDebugFormatError : public Exception {
  using Exception::Exception;
};

using ByteSpan = binary::TByteSpan;
using ByteReader = binary::TCheckedReader<EDebugFormatError>;

// The Length bytes at Offset of Span; out of range raises with What in the message.
inline ByteSpan SubSpan(ByteSpan span, uint64_t offset, uint64_t length, const char* what) {
  return binary::CheckedSub<EDebugFormatError>(span, offset, length, what);
}
// The bytes from Offset to the end of Span.
inline ByteSpan SpanFrom(ByteSpan span, uint64_t offset, const char* what) {
  return binary::CheckedFrom<EDebugFormatError>(span, offset, what);
}
// The NUL-terminated string at Offset of a string section.
inline std::string StringAt(ByteSpan section, uint64_t offset, const char* sectionName) {
  return binary::CheckedStringAt<EDebugFormatError>(section, offset, sectionName);
}

}  // namespace vl::tools
