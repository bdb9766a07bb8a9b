#include "debuginfo/functions_list_builder.h"

#include <windows.h>

#include "debuginfo/module_seam.h"
#include "debuginfo/pe_exports.h"

namespace {

// Bytes from Base that are committed and readable and belong to the allocation at Base.
size_t ReadableLength(uintptr_t base, size_t limit) {
  size_t length = 0;
  while (length < limit) {
    MEMORY_BASIC_INFORMATION mbi;
    if (VirtualQuery(reinterpret_cast<void*>(base + length), &mbi, sizeof mbi) == 0) break;
    if (reinterpret_cast<uintptr_t>(mbi.AllocationBase) != base || mbi.State != MEM_COMMIT ||
        (mbi.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0) {
      break;
    }
    uintptr_t regionEnd = reinterpret_cast<uintptr_t>(mbi.BaseAddress) + mbi.RegionSize;
    if (regionEnd <= base + length) break;
    length = regionEnd - base;
  }
  return length < limit ? length : limit;
}

}  // namespace

bool BuildFunctionsList(uintptr_t module, TVantorFunctionsList& list) {
  list.Clear();
  if (module == 0) return false;
  // An image is one allocation; its size comes from the headers, which are read first.
  const size_t kHeaderPage = 4096;
  const uint8_t* image = reinterpret_cast<const uint8_t*>(module);
  vl::TImageLayout layout;
  size_t size = ReadableLength(module, kHeaderPage);
  if (!vl::ReadImageLayout(image, size, layout)) return false;
  size = ReadableLength(module, layout.ImageSize);
  if (!vl::ReadImageLayout(image, size, layout) || layout.CodeEnd <= layout.CodeStart) return false;
  const bool inIde = RunningInIDEProc != nullptr && RunningInIDEProc();
  for (const vl::TExportEntry& entry : vl::ReadExportEntries(image, size, layout)) {
    TVantorFunctionInfo info;
    info.Name = entry.Name;
    FARPROC proc = GetProcAddress(reinterpret_cast<HMODULE>(module), entry.Name.c_str());
    if (proc != nullptr) {
      info.Addr = reinterpret_cast<uintptr_t>(proc);
    } else if (entry.Rva < size) {
      info.Addr = module + entry.Rva;
    } else {
      continue;
    }
    info.Size = 1;
    if (!inIde && info.Addr >= module && info.Addr - module < size)
      info.Size =
          vl::MeasureRoutine(image, size, layout, static_cast<uint32_t>(info.Addr - module));
    list.Add(std::move(info));
  }
  list.Sort();
  return true;
}
