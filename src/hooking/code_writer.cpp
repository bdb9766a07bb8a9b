#include "hooking/code_writer.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "hooking/import_jump_stub.h"

namespace vl::hooking {

bool WriteCode(void* address, const void* bytes, size_t count) {
  if (!address || count == 0) return false;
  // Pages of the range may differ in protection: each gets its own back.
  SYSTEM_INFO si;
  GetSystemInfo(&si);
  const uintptr_t pageSize = si.dwPageSize ? si.dwPageSize : 4096;
  const uintptr_t start = reinterpret_cast<uintptr_t>(address);
  const uintptr_t end = start + count;
  if (end < start) return false;
  std::vector<std::pair<uintptr_t, DWORD>> changed;
  for (uintptr_t page = start - start % pageSize; page < end; page += pageSize) {
    DWORD previous = 0;
    if (!VirtualProtect(reinterpret_cast<void*>(page), 1, PAGE_EXECUTE_READWRITE, &previous)) {
      for (const auto& [p, protection] : changed) {
        VirtualProtect(reinterpret_cast<void*>(p), 1, protection, &previous);
      }
      return false;
    }
    changed.emplace_back(page, previous);
  }
  std::memcpy(address, bytes, count);
  for (const auto& [page, protection] : changed) {
    DWORD ignored = 0;
    VirtualProtect(reinterpret_cast<void*>(page), 1, protection, &ignored);
  }
  FlushInstructionCache(GetCurrentProcess(), address, count);
  return true;
}

void* FollowImportJumpStub(void* address) {
  if (!IsReadableRange(address, ImportJumpStubLength)) return address;
  uint64_t slot = 0;
  if (!DecodeImportJumpStub(static_cast<const uint8_t*>(address),
                            reinterpret_cast<uintptr_t>(address), NativeCpuMode, slot)) {
    return address;
  }
  const void* slotAddress = reinterpret_cast<const void*>(static_cast<uintptr_t>(slot));
  if (!IsReadableRange(slotAddress, sizeof(void*))) return address;
  void* destination;
  std::memcpy(&destination, slotAddress, sizeof destination);
  return destination;
}

bool InSharedArea(const void* address) {
  if (sizeof(void*) != 4) return false;
  bool nt = (GetVersion() & 0x80000000u) == 0;
  return !nt && reinterpret_cast<uintptr_t>(address) >= 0x80000000u;
}

}  // namespace vl::hooking
