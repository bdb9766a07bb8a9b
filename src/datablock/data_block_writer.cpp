#include "datablock/data_block_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "runtime/exceptions.h"
#include "zlibwrap/compress.h"

namespace vl::datablock {

namespace {

void PutUInt16(TBytes& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutUInt32(TBytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutHeader(TBytes& out, uint16_t version, int32_t reserved1, int32_t reserved2) {
  PutUInt16(out, version);
  PutUInt32(out, static_cast<uint32_t>(reserved1));
  PutUInt32(out, static_cast<uint32_t>(reserved2));
}

void CheckLength(size_t size, const char* what) {
  if (size > static_cast<size_t>(std::numeric_limits<int32_t>::max()) - 64)
    throw Exception(Format("The %s is too large for a data block.", what));
}

// The loader refuses a payload above its limit: never write one.
void CheckPayload(const TBytes& payload) {
  if (payload.size() > kMaxPayloadSize)
    throw Exception(
        Format("The payload of %llu bytes is larger than the %llu bytes a module may "
               "carry in its data block.",
               static_cast<unsigned long long>(payload.size()),
               static_cast<unsigned long long>(kMaxPayloadSize)));
}

}  // namespace

TBytes BuildPayload(const TBytes& options, const TBytes& debugInfo, const TBytes& extension) {
  CheckLength(debugInfo.size(), "debug information");
  TBytes out(options);
  PutUInt32(out, static_cast<uint32_t>(debugInfo.size()));
  out.insert(out.end(), debugInfo.begin(), debugInfo.end());
  out.insert(out.end(), extension.begin(), extension.end());
  return out;
}

TBytes BuildResourceBlock(const TBytes& payload, uint16_t version, int32_t reserved1,
                          int32_t reserved2) {
  CheckPayload(payload);
  TBytes out;
  PutUInt32(out, kMagic);
  PutHeader(out, version, reserved1, reserved2);
  if (version >= kFirstCompressedVersion) {
    TBytes packed = zlibwrap::CompressBuf(payload.data(), payload.size(), 9);
    out.insert(out.end(), packed.begin(), packed.end());
  } else {
    out.insert(out.end(), payload.begin(), payload.end());
  }
  return out;
}

TBytes BuildTrailer(const TBytes& payload, uint16_t version, int32_t reserved1, int32_t reserved2) {
  CheckLength(payload.size(), "payload");
  CheckPayload(payload);
  TBytes out;
  PutHeader(out, version, reserved1, reserved2);
  out.insert(out.end(), payload.begin(), payload.end());
  PutUInt32(out, static_cast<uint32_t>(payload.size() + kTrailerHeaderSize));
  PutUInt32(out, kMagic);
  return out;
}

void AppendToFile(const std::string& path, const TBytes& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) throw EFOpenError(path, std::strerror(errno));
  size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), f);
  bool ok = written == bytes.size();
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) throw EFCreateError(path, "write failed");
}

}  // namespace vl::datablock
