// A little-endian reader over bytes that never reads past their end: every read reports
// whether the bytes were there, and a failed read leaves the position where it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "debuginfo/string_mask.h"

namespace vl {

class TByteReader {
 public:
  TByteReader(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}

  size_t Position() const { return pos_; }
  size_t Size() const { return size_; }
  size_t Remaining() const { return size_ - pos_; }
  bool AtEnd() const { return pos_ == size_; }

  bool Skip(size_t count) {
    if (count > Remaining()) return false;
    pos_ += count;
    return true;
  }
  bool ReadU8(uint8_t& value) {
    if (Remaining() < 1) return false;
    value = data_[pos_++];
    return true;
  }
  bool ReadU16(uint16_t& value) {
    if (Remaining() < 2) return false;
    value = static_cast<uint16_t>(data_[pos_] | data_[pos_ + 1] << 8);
    pos_ += 2;
    return true;
  }
  bool ReadU32(uint32_t& value) {
    if (Remaining() < 4) return false;
    value = static_cast<uint32_t>(data_[pos_]) | static_cast<uint32_t>(data_[pos_ + 1]) << 8 |
            static_cast<uint32_t>(data_[pos_ + 2]) << 16 |
            static_cast<uint32_t>(data_[pos_ + 3]) << 24;
    pos_ += 4;
    return true;
  }
  bool ReadI32(int32_t& value) {
    uint32_t raw;
    if (!ReadU32(raw)) return false;
    value = static_cast<int32_t>(raw);
    return true;
  }
  // A masked name: one length byte, then that many bytes.
  bool ReadShortString(std::string& value) {
    if (Remaining() < 1 || Remaining() - 1 < data_[pos_]) return false;
    size_t length = data_[pos_];
    value.assign(reinterpret_cast<const char*>(data_ + pos_ + 1), length);
    MaskString(value);
    pos_ += 1 + length;
    return true;
  }
  // A short string left masked, as a view into the bytes (for skipping and comparing).
  bool ReadMaskedShortString(const uint8_t*& text, size_t& length) {
    if (Remaining() < 1 || Remaining() - 1 < data_[pos_]) return false;
    length = data_[pos_];
    text = data_ + pos_ + 1;
    pos_ += 1 + length;
    return true;
  }
  // A reader over the next Count bytes, which this reader then skips.
  bool Split(size_t count, TByteReader& part) {
    if (count > Remaining()) return false;
    part = TByteReader(data_ + pos_, count);
    pos_ += count;
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace vl
