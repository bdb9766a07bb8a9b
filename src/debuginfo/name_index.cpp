#include "debuginfo/name_index.h"

#include <cstring>

#include "binary/byte_reader.h"
#include "debuginfo/data_versions.h"
#include "debuginfo/string_mask.h"

namespace vl {

bool FindNameIndexOffset(const uint8_t* data, size_t size, uint16_t dataVersion,
                         const std::string& fullName, int32_t& offset) {
  if (dataVersion < kNameIndexVersion) return false;
  binary::TByteReader reader(data, size);
  int32_t indexSize;
  binary::TByteReader index(nullptr, 0);
  if (!reader.ReadI32(indexSize) || indexSize < 0 ||
      !reader.Split(static_cast<size_t>(indexSize), index)) {
    return false;
  }
  // Compared as stored: the wanted name is masked once instead of every entry unmasked.
  std::string wanted = fullName;
  MaskString(wanted);
  while (!index.AtEnd()) {
    const uint8_t* name;
    size_t length;
    int32_t entryOffset, unused;
    if (!index.ReadShortStringView(name, length) || !index.ReadI32(entryOffset) ||
        !index.ReadI32(unused)) {
      return false;
    }
    if (length == wanted.size() && std::memcmp(name, wanted.data(), length) == 0) {
      offset = entryOffset;
      return true;
    }
  }
  return false;
}

}  // namespace vl
