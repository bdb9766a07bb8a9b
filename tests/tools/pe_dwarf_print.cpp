// Prints what the readers make of a PE file: sections, units with ranges and lines, functions
// and the name index.
#include <cstdio>

#include "tools/debug_model.h"

using namespace vl;

using namespace vl::tools;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: pe_dwarf_print file.exe [--lines]\n");
    return 2;
  }
  bool lines = argc > 2 && std::string(argv[2]) == "--lines";
  try {
    PeImage image = PeImage::Load(argv[1]);
    std::printf("%s image base 0x%llx\n", image.Is64() ? "PE32+" : "PE32",
                static_cast<unsigned long long>(image.ImageBase()));
    for (const PeSection& section : image.Sections()) {
      std::printf("  section %-16s rva 0x%08x size 0x%08x\n", section.Name.c_str(),
                  section.VirtualAddress, section.VirtualSize);
    }
    DebugModel model = BuildDebugModel(image);
    for (const SourceUnit& unit : model.Units) {
      std::printf("unit %s (%s)\n", unit.Name.c_str(), unit.Path.c_str());
      for (const RvaRange& range : unit.Ranges) {
        std::printf("  range 0x%08x-0x%08x\n", range.Begin, range.End);
      }
      if (lines) {
        for (const UnitLine& line : unit.Lines) {
          std::printf("  0x%08x line %u\n", line.Address, line.Line);
        }
      }
    }
    for (const FunctionInfo& function : model.Functions) {
      std::printf("function 0x%08x %6u [%s] %s\n", function.Address, function.Size,
                  function.ClassName.c_str(), function.ProcedureName.c_str());
    }
    for (const NameIndexEntry& entry : model.NameIndex) {
      std::printf("name %s 0x%08x\n", entry.QualifiedName.c_str(), entry.Address);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", argv[1], error.what());
    return 1;
  }
  return 0;
}
