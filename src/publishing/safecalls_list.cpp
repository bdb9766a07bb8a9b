#include "publishing/safecalls_list.h"

#include <windows.h>

#include "publishing/virtual_file.h"

namespace vl::publishing {

uint8_t* SafeCallsFlag() {
  static uint8_t* flag = [] {
    HANDLE mapping =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4, kSafeCallsListName);
    if (!mapping) return static_cast<uint8_t*>(nullptr);
    // Kept open for the life of the process.
    return static_cast<uint8_t*>(MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 4));
  }();
  return flag;
}

}  // namespace vl::publishing
