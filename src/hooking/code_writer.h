// Writing into code and reading foreign memory safely: the primitive every patch of the engine
// uses, and the readability test it applies before reading a routine's bytes.
#pragma once

#include <cstddef>

#include "runtime/memory_access.h"

namespace vl::hooking {

// Makes the range writable and executable, copies the bytes, puts the previous protection back
// and flushes the instruction cache for the range. False when the range's protection cannot be
// changed (nothing is written then).
bool WriteCode(void* address, const void* bytes, size_t count);

// The program's one readability test (runtime/memory_access.h).
using rtl::IsReadableRange;
using rtl::ReadableLength;

// Follows an import jump stub (see import_jump_stub.h): when Address is one and its slot can be
// read, the address the slot holds; otherwise Address itself.
void* FollowImportJumpStub(void* address);

// The shared area of the Windows 9x family: addresses at or above 2 GB there belong to every
// process and must not be patched. Always false on the NT family.
bool InSharedArea(const void* address);

}  // namespace vl::hooking
