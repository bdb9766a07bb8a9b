#include "publishing/virtual_file.h"

#include <cstring>

#include "runtime/exceptions.h"

namespace vl::publishing {

namespace {

constexpr size_t kHeader = 4;

uint32_t StoredSize(const void* view) {
  uint32_t size;
  std::memcpy(&size, view, sizeof size);
  return size;
}

// The size of the mapped view as the platform reports it.
size_t ViewSize(const void* view) {
  MEMORY_BASIC_INFORMATION info = {};
  if (VirtualQuery(view, &info, sizeof info) == 0) return 0;
  return info.RegionSize;
}

}  // namespace

std::string VirtualFileName(HMODULE module, const std::string& name) {
  // Handles are written with as many digits as a pointer has: 8 in the 32-bit program.
  return Format("%08lX%0*llX", static_cast<unsigned long>(GetCurrentProcessId()),
                static_cast<int>(sizeof(void*) * 2),
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(module))) +
         name;
}

HANDLE CreateVirtualFile(HMODULE module, const std::string& name, size_t size, uint8_t*& data,
                         size_t* dataSize) {
  data = nullptr;
  if (dataSize) *dataSize = 0;
  std::string fullName = VirtualFileName(module, name);
  HANDLE mapping;
  if (size == 0) {
    // Only open: asking the platform to create a block just to find out would make one.
    mapping = OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, fullName.c_str());
  } else {
    if (size > 0x7FFFFFFF - kHeader) return nullptr;
    mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                 static_cast<DWORD>(size + kHeader), fullName.c_str());
  }
  if (!mapping) return nullptr;
  bool existed = size == 0 || GetLastError() == ERROR_ALREADY_EXISTS;

  void* view = MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0);
  if (!view) {
    CloseHandle(mapping);
    return nullptr;
  }
  size_t total = size + kHeader;
  if (existed) {
    // The stored size comes from whoever created the block: it must fit the mapped memory.
    total = StoredSize(view);
    if (total < kHeader || total > ViewSize(view)) {
      UnmapViewOfFile(view);
      CloseHandle(mapping);
      return nullptr;
    }
  }
  uint32_t stored = static_cast<uint32_t>(total);
  std::memcpy(view, &stored, sizeof stored);
  data = static_cast<uint8_t*>(view) + kHeader;
  if (dataSize) *dataSize = total - kHeader;
  return mapping;
}

size_t VirtualFileDataSize(const uint8_t* data) {
  return data ? StoredSize(data - kHeader) - kHeader : 0;
}

void DeleteVirtualFile(HANDLE& handle, uint8_t*& data) {
  if (!handle) return;
  if (data) UnmapViewOfFile(data - kHeader);
  CloseHandle(handle);
  handle = nullptr;
  data = nullptr;
}

}  // namespace vl::publishing
