// Reading the process's own memory without faulting: the readability test used before every
// read of foreign memory (a committed, readable range), with this module's image taken as
// readable as a whole.
#pragma once

#include <cstddef>
#include <cstdint>

#include "capture/eh_encoding.h"

namespace vl::capture {

// Number of bytes readable from Address on, up to Limit (0 when Address itself is not).
size_t ReadableBytes(uintptr_t address, size_t limit);
bool IsReadable(uintptr_t address, size_t size);

// Pointer reads for the table readers, each checked.
class TProcessMemory : public TPointerReader {
 public:
  bool ReadPointer(uint64_t address, uint64_t& value) override;
};

// The bounds of this thread's stack (from the thread information block).
void CurrentStackBounds(uintptr_t& low, uintptr_t& high);

}  // namespace vl::capture
