// Random access to the bytes of a module's file, for reading the trailer form of the data block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vl::datablock {

class TBlockSource {
 public:
  virtual ~TBlockSource() = default;
  virtual uint64_t Size() = 0;
  // Reads exactly Count bytes at Position; false when they cannot all be read.
  virtual bool ReadAt(uint64_t position, void* buffer, size_t count) = 0;
};

// The bytes of a file held in memory (tests, fuzzing, the post-build tool).
class TMemoryBlockSource : public TBlockSource {
 public:
  TMemoryBlockSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint64_t Size() override { return size_; }
  bool ReadAt(uint64_t position, void* buffer, size_t count) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

}  // namespace vl::datablock
