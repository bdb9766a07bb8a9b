#include "runtime/memory_access.h"

#include <windows.h>

#include <cstdint>

namespace vl::rtl {

namespace {

bool ReadableProtection(DWORD protect) {
  if (protect & (PAGE_GUARD | PAGE_NOACCESS)) return false;
  return (protect & (PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                     PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) != 0;
}

// Enough for the headers of any image the loader accepts; a header past the first readable
// pages is not looked for.
constexpr size_t kHeaderProbe = 0x10000;

}  // namespace

size_t ReadableLength(const void* address, size_t wanted) {
  const uintptr_t start = reinterpret_cast<uintptr_t>(address);
  if (start == 0) return 0;
  size_t readable = 0;
  while (readable < wanted) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(reinterpret_cast<const void*>(start + readable), &info, sizeof info) == 0)
      break;
    if (info.State != MEM_COMMIT || !ReadableProtection(info.Protect)) break;
    const uintptr_t end = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
    if (end <= start + readable) break;  // wrapped around the address space
    readable = end - start;
  }
  return readable < wanted ? readable : wanted;
}

bool IsReadableRange(const void* address, size_t count) {
  return count > 0 && ReadableLength(address, count) == count;
}

binary::TPeView LoadedImageView(const void* base) {
  const auto* image = static_cast<const uint8_t*>(base);
  binary::TPeView headers(image, ReadableLength(base, kHeaderProbe), binary::TImageForm::ifMapped);
  if (!headers.Ok()) return headers;
  return binary::TPeView(image, ReadableLength(base, headers.SizeOfImage()),
                         binary::TImageForm::ifMapped);
}

}  // namespace vl::rtl
