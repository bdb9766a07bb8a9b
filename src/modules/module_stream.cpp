#include "modules/module_stream.h"

#include <cstring>

namespace vl::modules {

size_t THModuleStream::Read(void* buffer, size_t count) {
  size_t left = size_ - position_;
  if (count > left) count = left;
  if (count) std::memcpy(buffer, memory_ + position_, count);
  position_ += count;
  return count;
}

}  // namespace vl::modules
