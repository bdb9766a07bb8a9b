#include "capture/process_memory.h"

#include <windows.h>

#include <cstring>

namespace vl::capture {

namespace {

// This module's image: headers and sections are all mapped readable.
void OwnImage(uintptr_t& start, uintptr_t& end) {
  static uintptr_t s_start = 0, s_end = 0;
  if (!s_start) {
    MEMORY_BASIC_INFORMATION info = {};
    if (VirtualQuery(reinterpret_cast<void*>(&OwnImage), &info, sizeof info) &&
        info.AllocationBase) {
      auto base = reinterpret_cast<uintptr_t>(info.AllocationBase);
      auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
      auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
      s_end = base + nt->OptionalHeader.SizeOfImage;
      s_start = base;
    }
  }
  start = s_start;
  end = s_end;
}

bool ReadableProtection(DWORD protect) {
  if (protect & (PAGE_GUARD | PAGE_NOACCESS)) return false;
  return (protect & (PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                     PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) != 0;
}

}  // namespace

size_t ReadableBytes(uintptr_t address, size_t limit) {
  if (address == 0 || limit == 0) return 0;
  uintptr_t imageStart, imageEnd;
  OwnImage(imageStart, imageEnd);
  if (address >= imageStart && address < imageEnd) {
    size_t n = imageEnd - address;
    return n < limit ? n : limit;
  }
  size_t total = 0;
  uintptr_t at = address;
  while (total < limit) {
    MEMORY_BASIC_INFORMATION info = {};
    if (!VirtualQuery(reinterpret_cast<void*>(at), &info, sizeof info)) break;
    if (info.State != MEM_COMMIT || !info.AllocationBase || !ReadableProtection(info.Protect))
      break;
    uintptr_t regionEnd = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
    if (regionEnd <= at) break;
    total += regionEnd - at;
    at = regionEnd;
  }
  return total < limit ? total : limit;
}

bool IsReadable(uintptr_t address, size_t size) { return ReadableBytes(address, size) == size; }

bool TProcessMemory::ReadPointer(uint64_t address, uint64_t& value) {
  const auto at = static_cast<uintptr_t>(address);
  if (at != address || !IsReadable(at, sizeof(void*))) return false;
  uintptr_t v;
  std::memcpy(&v, reinterpret_cast<const void*>(at), sizeof v);
  value = v;
  return true;
}

void CurrentStackBounds(uintptr_t& low, uintptr_t& high) {
  // The thread information block's stack limit and base (its third and second words).
#if defined(__x86_64__)
  uintptr_t base, limit;
  __asm__("movq %%gs:0x08, %0" : "=r"(base));
  __asm__("movq %%gs:0x10, %0" : "=r"(limit));
#else
  uintptr_t base, limit;
  __asm__("movl %%fs:0x04, %0" : "=r"(base));
  __asm__("movl %%fs:0x08, %0" : "=r"(limit));
#endif
  low = limit;
  high = base;
}

}  // namespace vl::capture
