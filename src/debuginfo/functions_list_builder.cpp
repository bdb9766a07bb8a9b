#include "debuginfo/functions_list_builder.h"

#include <windows.h>

#include "debuginfo/module_seam.h"
#include "debuginfo/pe_exports.h"
#include "runtime/memory_access.h"

namespace vl {

bool BuildFunctionsList(uintptr_t module, TVantorFunctionsList& list) {
  list.Clear();
  if (module == 0) return false;
  // Only the readable start of the image is read, never beyond the size its headers declare.
  const uint8_t* image = reinterpret_cast<const uint8_t*>(module);
  const size_t size = rtl::LoadedImageView(image).Bytes().Size;
  vl::TImageLayout layout;
  if (!vl::ReadImageLayout(image, size, layout) || layout.CodeEnd <= layout.CodeStart) return false;
  const auto runningInIDE = debuginfo::Seams().RunningInIDE;
  const bool inIde = runningInIDE != nullptr && runningInIDE();
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

}  // namespace vl
