#include "datablock/byte_reader.h"

namespace datablock {

uint16_t LoadUInt16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t LoadUInt32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

const uint8_t* TByteReader::Take(size_t count, const char* what) {
  if (count > Remaining())
    throw EDataBlockError(Format("%s: %llu bytes needed at offset %llu, %llu left", what,
                                 static_cast<unsigned long long>(count),
                                 static_cast<unsigned long long>(pos_),
                                 static_cast<unsigned long long>(Remaining())));
  const uint8_t* p = data_ + pos_;
  pos_ += count;
  return p;
}

void TByteReader::Skip(size_t count, const char* what) { Take(count, what); }

uint16_t TByteReader::ReadUInt16(const char* what) { return LoadUInt16(Take(2, what)); }

uint32_t TByteReader::ReadUInt32(const char* what) { return LoadUInt32(Take(4, what)); }

}  // namespace datablock
