// Little-endian output for the debug-information writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "debuginfo/string_mask.h"
#include "runtime/exceptions.h"

namespace vl {

class TByteWriter {
 public:
  std::vector<uint8_t>& Bytes() { return bytes_; }

  void WriteU8(uint8_t value) { bytes_.push_back(value); }
  void WriteU16(uint16_t value) {
    WriteU8(static_cast<uint8_t>(value));
    WriteU8(static_cast<uint8_t>(value >> 8));
  }
  void WriteU32(uint32_t value) {
    WriteU16(static_cast<uint16_t>(value));
    WriteU16(static_cast<uint16_t>(value >> 16));
  }
  void WriteI32(int32_t value) { WriteU32(static_cast<uint32_t>(value)); }
  void WriteBytes(const std::vector<uint8_t>& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  }
  // A masked name: one length byte, then the bytes. Names longer than 255 bytes cannot be
  // stored.
  void WriteShortString(const std::string& value) {
    if (value.size() > 255)
      throw Exception(
          Format("Name too long for the debug information: %s", value.substr(0, 64).c_str()));
    std::string masked = value;
    MaskString(masked);
    WriteU8(static_cast<uint8_t>(masked.size()));
    bytes_.insert(bytes_.end(), masked.begin(), masked.end());
  }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace vl
