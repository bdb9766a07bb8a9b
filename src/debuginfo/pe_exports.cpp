#include "debuginfo/pe_exports.h"

#include <algorithm>

#include "binary/pe_view.h"

namespace vl {
namespace {

constexpr size_t kMaxExportName = 256;

bool IsReturn(uint8_t b) { return b == 0xC2 || b == 0xC3 || b == 0xCA || b == 0xCB; }

}  // namespace

bool ReadImageLayout(const uint8_t* image, size_t size, TImageLayout& layout) {
  binary::TPeView view(image, size, binary::TImageForm::ifMapped);
  if (!view.Ok()) return false;
  layout = TImageLayout();
  const binary::TPeDirectory exports = view.Directory(binary::kExportDirectory);
  layout.ExportRva = exports.Rva;
  layout.ExportSize = exports.Size;
  layout.ImageSize = view.SizeOfImage();
  layout.CodeStart = view.BaseOfCode();
  const uint64_t codeEnd =
      std::min<uint64_t>(uint64_t{view.BaseOfCode()} + view.SizeOfCode(), size);
  layout.CodeEnd = static_cast<uint32_t>(std::max<uint64_t>(codeEnd, view.BaseOfCode()));
  return true;
}

std::vector<TExportEntry> ReadExportEntries(const uint8_t* image, size_t size,
                                            const TImageLayout& layout) {
  std::vector<TExportEntry> entries;
  const binary::TByteSpan bytes{image, size};
  const binary::TPeDirectory directory{layout.ExportRva, layout.ExportSize};
  uint32_t flags, functionCount, nameCount, functions, names, ordinals;
  const uint64_t dir = layout.ExportRva;
  if (dir == 0 || !bytes.U32At(dir, flags) || flags != 0 || !bytes.U32At(dir + 20, functionCount) ||
      !bytes.U32At(dir + 24, nameCount) || !bytes.U32At(dir + 28, functions) ||
      !bytes.U32At(dir + 32, names) || !bytes.U32At(dir + 36, ordinals)) {
    return entries;
  }
  // Every entry needs four bytes of name table, so a count beyond that is cut by the image.
  uint64_t count = std::min({uint64_t{functionCount}, uint64_t{nameCount}, uint64_t{size / 4}});
  for (uint64_t i = 0; i < count; ++i) {
    uint32_t nameRva, rva;
    uint16_t ordinal;
    if (!bytes.U32At(names + i * 4, nameRva) || !bytes.U16At(ordinals + i * 2, ordinal) ||
        ordinal >= functionCount || !bytes.U32At(functions + uint64_t{ordinal} * 4, rva) ||
        nameRva >= size) {
      continue;
    }
    // An address inside the export directory is a forwarder ("OTHER.Name"), not code.
    if (directory.Contains(rva)) continue;
    const char* text = reinterpret_cast<const char*>(image + nameRva);
    size_t limit = std::min(kMaxExportName, size - nameRva);
    size_t length = 0;
    while (length < limit && text[length] != '\0') ++length;
    entries.push_back({std::string(text, length), rva});
  }
  return entries;
}

int32_t MeasureRoutine(const uint8_t* image, size_t size, const TImageLayout& layout,
                       uint32_t rva) {
  const size_t end = std::min<size_t>(layout.CodeEnd, size);
  if (rva < layout.CodeStart || rva >= end) return 1;
  if (image[rva] == 0x55) {
    for (size_t i = rva; i + 1 < end; ++i) {
      if ((image[i] == 0x5D || image[i] == 0xC9) && IsReturn(image[i + 1]))
        return static_cast<int32_t>(i + 1 - rva);
    }
    return 1;
  }
  for (size_t i = rva; i < end; ++i) {
    if (IsReturn(image[i])) return static_cast<int32_t>(i - rva);
  }
  return 1;
}

}  // namespace vl
