#include "delivery/base64.h"

#include <cstdint>

namespace delivery {
namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Appends the 4 characters of one group of 1 to 3 bytes.
void EncodeGroup(const unsigned char* p, size_t n, std::string& out) {
  uint32_t v = uint32_t(p[0]) << 16;
  if (n > 1) v |= uint32_t(p[1]) << 8;
  if (n > 2) v |= p[2];
  out += kAlphabet[(v >> 18) & 63];
  out += kAlphabet[(v >> 12) & 63];
  out += n > 1 ? kAlphabet[(v >> 6) & 63] : '=';
  out += n > 2 ? kAlphabet[v & 63] : '=';
}

int Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string EncodeBase64(std::string_view bytes) {
  std::string out;
  const size_t lines = (bytes.size() + 59) / 60;
  out.reserve(lines * 82);
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t left = bytes.size();
  while (left > 0) {
    const size_t line = left < 60 ? left : 60;
    for (size_t i = 0; i < line; i += 3) EncodeGroup(p + i, line - i < 3 ? line - i : 3, out);
    out += "\r\n";
    p += line;
    left -= line;
  }
  return out;
}

std::string EncodeBase64Line(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t i = 0; i < bytes.size(); i += 3)
    EncodeGroup(p + i, bytes.size() - i < 3 ? bytes.size() - i : 3, out);
  return out;
}

bool DecodeBase64(std::string_view text, std::string& bytes) {
  bytes.clear();
  uint32_t v = 0;
  int have = 0, pad = 0;
  for (char c : text) {
    if (c == '\r' || c == '\n') continue;
    if (c == '=') {
      ++pad;
      v <<= 6;
      ++have;
    } else {
      const int d = Value(c);
      if (d < 0 || pad > 0) return false;
      v = (v << 6) | uint32_t(d);
      ++have;
    }
    if (have == 4) {
      if (pad > 2) return false;
      bytes += char((v >> 16) & 0xFF);
      if (pad < 2) bytes += char((v >> 8) & 0xFF);
      if (pad < 1) bytes += char(v & 0xFF);
      v = 0;
      have = 0;
      if (pad > 0) pad = 3;  // nothing may follow a padded group
    }
  }
  return have == 0;
}

}  // namespace delivery
