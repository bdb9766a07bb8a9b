#include "delivery/base64.h"

#include <cstdint>

namespace vl::delivery {
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
  AppendBase64(out, bytes);
  return out;
}

void AppendBase64(std::string& out, std::string_view bytes) {
  const size_t fullLines = bytes.size() / 60;
  const size_t tail = bytes.size() % 60;
  const size_t start = out.size();
  // Written in place: the text's size is known before the first byte.
  out.resize(start + fullLines * 82 + (tail > 0 ? (tail + 2) / 3 * 4 + 2 : 0));
  if (out.size() == start) return;
  char* o = &out[start];
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t line = 0; line < fullLines; ++line) {
    for (int group = 0; group < 20; ++group, p += 3) {
      const uint32_t v = (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
      o[0] = kAlphabet[v >> 18];
      o[1] = kAlphabet[(v >> 12) & 63];
      o[2] = kAlphabet[(v >> 6) & 63];
      o[3] = kAlphabet[v & 63];
      o += 4;
    }
    *o++ = '\r';
    *o++ = '\n';
  }
  if (tail > 0) {
    std::string last;
    for (size_t i = 0; i < tail; i += 3) EncodeGroup(p + i, tail - i < 3 ? tail - i : 3, last);
    last += "\r\n";
    last.copy(o, last.size());
  }
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

}  // namespace vl::delivery
