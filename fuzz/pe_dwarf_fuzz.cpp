// libFuzzer target for the PE and DWARF readers. An input that starts with "MZ" is a whole PE
// file; any other input is a set of raw debug sections: seven 32-bit sizes (.debug_info,
// .debug_abbrev, .debug_line, .debug_str, .debug_line_str, .debug_ranges, .debug_rnglists)
// followed by the sections' bytes,
// which lets the fuzzer reach the DWARF readers without a PE around them.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "tools/debug_model.h"

using namespace vl;

using namespace vl::tools;

namespace {

void RawSections(const uint8_t* data, size_t size) {
  constexpr int kParts = 7;
  if (size < 4 * kParts) return;
  ByteSpan* parts[kParts];
  DwarfSections sections;
  parts[0] = &sections.Info;
  parts[1] = &sections.Abbrev;
  parts[2] = &sections.Line;
  parts[3] = &sections.Str;
  parts[4] = &sections.LineStr;
  parts[5] = &sections.Ranges;
  parts[6] = &sections.RngLists;
  size_t offset = 4 * kParts;
  for (int i = 0; i < kParts; ++i) {
    uint32_t length;
    std::memcpy(&length, data + 4 * i, 4);
    if (length > size - offset) length = static_cast<uint32_t>(size - offset);
    *parts[i] = ByteSpan{data + offset, length};
    offset += length;
  }
  try {
    DwarfInfo info = ReadDwarfInfo(sections);
    for (const DwarfUnit& unit : info.Units) {
      if (unit.HasLineTable)
        ReadLineTable(sections, unit.LineOffset, unit.CompDir, unit.AddressSize);
    }
  } catch (const EDebugFormatError&) {
  }
  try {
    ReadLineTable(sections, 0, "/", 4);
  } catch (const EDebugFormatError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= 2 && data[0] == 'M' && data[1] == 'Z') {
    try {
      PeImage image(std::vector<uint8_t>(data, data + size));
      DebugModel model = BuildDebugModel(image);
      for (const FunctionInfo& function : model.Functions) Locate(model, function.Address);
    } catch (const EDebugFormatError&) {
    }
    return 0;
  }
  RawSections(data, size);
  return 0;
}
