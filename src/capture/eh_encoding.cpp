#include "capture/eh_encoding.h"

namespace vl::capture {

bool TEhReader::Seek(size_t position) {
  if (!FOk || position > FSize) {
    FOk = false;
    return false;
  }
  FPos = position;
  return true;
}

uint8_t TEhReader::U8() {
  if (!FOk || FPos >= FSize) return static_cast<uint8_t>(Fail());
  return FData[FPos++];
}

uint64_t TEhReader::Uleb128() {
  uint64_t result = 0;
  for (unsigned shift = 0;; shift += 7) {
    uint8_t byte = U8();
    if (!FOk) return 0;
    if (shift >= 64) return Fail();  // more than ten bytes: not a value of ours
    result |= static_cast<uint64_t>(byte & 0x7F) << shift;
    if (!(byte & 0x80)) return result;
  }
}

int64_t TEhReader::Sleb128() {
  uint64_t result = 0;
  unsigned shift = 0;
  uint8_t byte;
  do {
    byte = U8();
    if (!FOk) return 0;
    if (shift >= 64) return static_cast<int64_t>(Fail());
    result |= static_cast<uint64_t>(byte & 0x7F) << shift;
    shift += 7;
  } while (byte & 0x80);
  if (shift < 64 && (byte & 0x40)) result |= ~uint64_t{0} << shift;
  return static_cast<int64_t>(result);
}

uint64_t TEhReader::Fixed(unsigned bytes, bool isSigned) {
  if (!FOk || bytes == 0 || bytes > 8 || FSize - FPos < bytes) return Fail();
  uint64_t value = 0;
  for (unsigned i = 0; i < bytes; ++i) value |= static_cast<uint64_t>(FData[FPos + i]) << (8 * i);
  FPos += bytes;
  if (isSigned && bytes < 8 && (value >> (8 * bytes - 1)) & 1) value |= ~uint64_t{0} << (8 * bytes);
  return value;
}

unsigned TEhReader::FixedSize(uint8_t encoding, unsigned pointerSize) {
  if (encoding == EhPeOmit) return 0;
  switch (encoding & 0x07) {
    case 0x00:
      return pointerSize;
    case 0x02:
      return 2;
    case 0x03:
      return 4;
    case 0x04:
      return 8;
    default:
      return 0;
  }
}

uint64_t TEhReader::Encoded(uint8_t encoding, uint64_t functionStart, TPointerReader* reader) {
  if (!FOk || encoding == EhPeOmit) return Fail();
  const uint64_t fieldAddress = AddressAt(FPos);
  uint64_t value;
  switch (encoding & 0x0F) {
    case 0x00:
      value = Fixed(FPointerSize, false);
      break;
    case 0x01:
      value = Uleb128();
      break;
    case 0x02:
      value = Fixed(2, false);
      break;
    case 0x03:
      value = Fixed(4, false);
      break;
    case 0x04:
      value = Fixed(8, false);
      break;
    case 0x09:
      value = static_cast<uint64_t>(Sleb128());
      break;
    case 0x0A:
      value = Fixed(2, true);
      break;
    case 0x0B:
      value = Fixed(4, true);
      break;
    case 0x0C:
      value = Fixed(8, true);
      break;
    default:
      return Fail();
  }
  if (!FOk) return 0;
  if (value == 0) return 0;
  switch (encoding & 0x70) {
    case 0x00:
      break;
    case 0x10:
      value += fieldAddress;
      break;
    case 0x40:
      value += functionStart;
      break;
    default:
      return Fail();
  }
  if (FPointerSize == 4) value &= 0xFFFFFFFFu;
  if (encoding & EhPeIndirect) {
    uint64_t target = 0;
    if (!reader || !reader->ReadPointer(value, target)) return Fail();
    value = target;
  }
  return value;
}

}  // namespace vl::capture
