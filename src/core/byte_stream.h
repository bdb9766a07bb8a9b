// Byte streams for the options' binary format: a minimal read/write interface and an in-memory
// stream. Reads report how many bytes actually arrived, so a reader can bound every read by the
// bytes that exist.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/exceptions.h"

namespace vl::core {

class TStream {
 public:
  virtual ~TStream() = default;
  // Copies up to Count bytes into Buffer; returns how many were copied (fewer at the end).
  virtual size_t Read(void* buffer, size_t count) = 0;
  // Appends Count bytes; returns how many were written.
  virtual size_t Write(const void* buffer, size_t count) = 0;
};

// A growable byte buffer with one position for reading and writing.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> bytes) : Bytes(std::move(bytes)) {}
  TMemoryStream(const void* data, size_t size);

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;

  size_t Size() const { return Bytes.size(); }
  size_t Position() const { return Pos; }
  const std::vector<uint8_t>& Data() const { return Bytes; }

 private:
  std::vector<uint8_t> Bytes;
  size_t Pos = 0;
};

}  // namespace vl::core
