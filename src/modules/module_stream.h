// A read-only memory stream laid over a block of module memory (a locked resource, or the data
// of a virtual file) without copying it. Its size is the size of the block that the platform
// reports, so no read through it leaves the block.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vl::modules {

class THModuleStream {
 public:
  THModuleStream(const void* memory, size_t size)
      : memory_(static_cast<const uint8_t*>(memory)), size_(memory ? size : 0) {}

  const uint8_t* Memory() const { return memory_; }
  size_t Size() const { return size_; }
  size_t Position() const { return position_; }

  // Copies up to Count bytes from the current position; returns how many were copied.
  size_t Read(void* buffer, size_t count);

 private:
  const uint8_t* memory_;
  size_t size_;
  size_t position_ = 0;
};

}  // namespace vl::modules
