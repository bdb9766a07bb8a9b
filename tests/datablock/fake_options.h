// A stand-in options stream for data-block tests: a 32-bit length and that many bytes. The real
// options stream has its own reader; the block code treats it as opaque bytes either way.
#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

inline std::vector<uint8_t> FakeOptions(const std::string& text) {
  std::vector<uint8_t> out;
  out.reserve(4 + text.size());
  uint32_t n = static_cast<uint32_t>(text.size());
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(n >> (8 * i)));
  for (char c : text) out.push_back(static_cast<uint8_t>(c));
  return out;
}

// Reads a FakeOptions stream into Text; raises when it is short.
struct FakeOptionsReader {
  std::string* text;
  uint16_t* version;
  size_t operator()(const uint8_t* data, size_t size, uint16_t v) const {
    if (size < 4) throw std::runtime_error("options stream too short");
    uint32_t n = static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
                 (static_cast<uint32_t>(data[2]) << 16) | (static_cast<uint32_t>(data[3]) << 24);
    if (n > size - 4) throw std::runtime_error("options text runs past the end");
    if (text) text->assign(reinterpret_cast<const char*>(data + 4), n);
    if (version) *version = v;
    return 4 + static_cast<size_t>(n);
  }
};

}  // namespace testsupport
