// Builds a loaded module's list of exported functions from its export directory.
#pragma once

#include <cstdint>

#include "debuginfo/functions_list.h"

namespace vl {

// Fills List (cleared first) with the module's named exports, their addresses as the platform
// gives them and their sizes up to the first return instruction, sorted by address. Reads only
// the part of the image that is committed and readable, and never beyond the image's size.
// False when the headers or the code range cannot be read.
bool BuildFunctionsList(uintptr_t module, TVantorFunctionsList& list);

}  // namespace vl
