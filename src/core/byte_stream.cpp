#include "core/byte_stream.h"

#include <cstring>

namespace vl::core {

TMemoryStream::TMemoryStream(const void* data, size_t size)
    : Bytes(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size) {}

size_t TMemoryStream::Read(void* buffer, size_t count) {
  size_t available = Bytes.size() - Pos;
  if (count > available) count = available;
  if (count > 0) std::memcpy(buffer, Bytes.data() + Pos, count);
  Pos += count;
  return count;
}

size_t TMemoryStream::Write(const void* buffer, size_t count) {
  if (count == 0) return 0;
  if (Pos + count > Bytes.size()) Bytes.resize(Pos + count);
  std::memcpy(Bytes.data() + Pos, buffer, count);
  Pos += count;
  return count;
}

}  // namespace vl::core
