// The program's one readability test for memory it did not allocate itself (module images, code
// it is about to patch, addresses taken from a stack or a register): a page counts as readable
// when it is committed, is neither a guard page nor a no-access page, and its protection allows
// reading (read-only, read-write, write-copy, or one of their executable forms). Execute-only
// pages do not count: reading them faults on processors that enforce it.
#pragma once

#include <cstddef>

#include "binary/pe_view.h"

namespace vl::rtl {

// How many bytes from Address, up to Wanted, may be read now (0 for a null address).
size_t ReadableLength(const void* address, size_t wanted);

// True when all Count bytes (at least one) from Address may be read now.
bool IsReadableRange(const void* address, size_t count);

// The headers of the module image loaded at Base, viewed over the part of the image that may
// be read from its start (at most the size its headers declare). Not Ok() when Base does not
// start with readable image headers.
binary::TPeView LoadedImageView(const void* base);

}  // namespace vl::rtl
