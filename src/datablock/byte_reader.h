// A bounded little-endian reader over bytes in memory: every read checks that the bytes exist.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/exceptions.h"

namespace datablock {

// A read past the end of the bytes: the data is short or a length in it is wrong.
class EDataBlockError : public Exception {
  using Exception::Exception;
};

class TByteReader {
 public:
  TByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t Position() const { return pos_; }
  size_t Remaining() const { return size_ - pos_; }
  const uint8_t* Current() const { return data_ + pos_; }

  // Raise EDataBlockError naming What when fewer bytes remain than asked for.
  void Skip(size_t count, const char* what);
  const uint8_t* Take(size_t count, const char* what);
  uint16_t ReadUInt16(const char* what);
  uint32_t ReadUInt32(const char* what);
  int32_t ReadInt32(const char* what) { return static_cast<int32_t>(ReadUInt32(what)); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

uint16_t LoadUInt16(const uint8_t* p);
uint32_t LoadUInt32(const uint8_t* p);

}  // namespace datablock
