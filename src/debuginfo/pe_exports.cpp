#include "debuginfo/pe_exports.h"

#include <algorithm>

#include "debuginfo/byte_reader.h"

namespace vl {
namespace {

constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe64Magic = 0x20B;
constexpr size_t kMaxExportName = 256;

// Offsets are computed in 64 bits so that a huge value from a header cannot wrap around on
// 32-bit hosts.
bool ReadU16At(const uint8_t* image, size_t size, uint64_t at, uint16_t& value) {
  TByteReader r(image, size);
  return at <= size && r.Skip(static_cast<size_t>(at)) && r.ReadU16(value);
}

bool ReadU32At(const uint8_t* image, size_t size, uint64_t at, uint32_t& value) {
  TByteReader r(image, size);
  return at <= size && r.Skip(static_cast<size_t>(at)) && r.ReadU32(value);
}

bool IsReturn(uint8_t b) { return b == 0xC2 || b == 0xC3 || b == 0xCA || b == 0xCB; }

}  // namespace

bool ReadImageLayout(const uint8_t* image, size_t size, TImageLayout& layout) {
  uint32_t peOffset, signature;
  uint16_t magic;
  if (!ReadU32At(image, size, 60, peOffset) || !ReadU32At(image, size, peOffset, signature) ||
      signature != 0x00004550) {
    return false;
  }
  const uint64_t optional = uint64_t{peOffset} + 24;
  if (!ReadU16At(image, size, optional, magic)) return false;
  // Data directories follow the fixed part of the optional header: 96 bytes in 32-bit images,
  // 112 in 64-bit ones. The export directory is the first.
  uint64_t directories;
  if (magic == kPe32Magic) {
    directories = optional + 96;
  } else if (magic == kPe64Magic) {
    directories = optional + 112;
  } else {
    return false;
  }
  uint32_t sizeOfCode, baseOfCode, directoryCount, imageSize;
  if (!ReadU32At(image, size, optional + 4, sizeOfCode) ||
      !ReadU32At(image, size, optional + 56, imageSize) ||
      !ReadU32At(image, size, optional + 20, baseOfCode) ||
      !ReadU32At(image, size, directories - 4, directoryCount)) {
    return false;
  }
  layout = TImageLayout();
  if (directoryCount >= 1 && (!ReadU32At(image, size, directories, layout.ExportRva) ||
                              !ReadU32At(image, size, directories + 4, layout.ExportSize))) {
    return false;
  }
  layout.ImageSize = imageSize;
  layout.CodeStart = baseOfCode;
  const uint64_t codeEnd = std::min<uint64_t>(uint64_t{baseOfCode} + sizeOfCode, size);
  layout.CodeEnd = static_cast<uint32_t>(std::max<uint64_t>(codeEnd, baseOfCode));
  return true;
}

std::vector<TExportEntry> ReadExportEntries(const uint8_t* image, size_t size,
                                            const TImageLayout& layout) {
  std::vector<TExportEntry> entries;
  uint32_t flags, functionCount, nameCount, functions, names, ordinals;
  const uint64_t dir = layout.ExportRva;
  if (dir == 0 || !ReadU32At(image, size, dir, flags) || flags != 0 ||
      !ReadU32At(image, size, dir + 20, functionCount) ||
      !ReadU32At(image, size, dir + 24, nameCount) ||
      !ReadU32At(image, size, dir + 28, functions) || !ReadU32At(image, size, dir + 32, names) ||
      !ReadU32At(image, size, dir + 36, ordinals)) {
    return entries;
  }
  // Every entry needs four bytes of name table, so a count beyond that is cut by the image.
  uint64_t count = std::min({uint64_t{functionCount}, uint64_t{nameCount}, uint64_t{size / 4}});
  for (uint64_t i = 0; i < count; ++i) {
    uint32_t nameRva, rva;
    uint16_t ordinal;
    if (!ReadU32At(image, size, names + i * 4, nameRva) ||
        !ReadU16At(image, size, ordinals + i * 2, ordinal) || ordinal >= functionCount ||
        !ReadU32At(image, size, functions + uint64_t{ordinal} * 4, rva) || nameRva >= size) {
      continue;
    }
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
