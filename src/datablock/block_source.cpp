#include "datablock/block_source.h"

#include <cstring>

namespace vl::datablock {

bool TMemoryBlockSource::ReadAt(uint64_t position, void* buffer, size_t count) {
  if (position > size_ || count > size_ - position) return false;
  if (count) std::memcpy(buffer, data_ + position, count);
  return true;
}

}  // namespace vl::datablock
