// The kind of a loaded module, from its headers in memory and its resources.
#pragma once

#include <windows.h>

#include <cstdint>

namespace vl::modules {

// mtExecutable, mtLibrary, mtPackage (a library with both "PACKAGEINFO" and "PACKAGEOPTIONS"
// raw-data resources), or 0 when the memory does not hold readable image headers.
uint8_t GetModuleType(HMODULE module);

}  // namespace vl::modules
