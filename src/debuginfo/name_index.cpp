#include "debuginfo/name_index.h"

#include "debuginfo/byte_reader.h"
#include "debuginfo/data_versions.h"

namespace vl {

bool FindNameIndexOffset(const uint8_t* data, size_t size, uint16_t dataVersion,
                         const std::string& fullName, int32_t& offset) {
  if (dataVersion < kNameIndexVersion) return false;
  TByteReader reader(data, size);
  int32_t indexSize;
  TByteReader index(nullptr, 0);
  if (!reader.ReadI32(indexSize) || indexSize < 0 ||
      !reader.Split(static_cast<size_t>(indexSize), index)) {
    return false;
  }
  while (!index.AtEnd()) {
    std::string name;
    int32_t entryOffset, unused;
    if (!index.ReadShortString(name) || !index.ReadI32(entryOffset) || !index.ReadI32(unused))
      return false;
    if (name == fullName) {
      offset = entryOffset;
      return true;
    }
  }
  return false;
}

}  // namespace vl
