// The debug information of a linked PE module as the post-build tool needs it: source units
// (one per source file, headers that own code included) with their code ranges and line
// steps, the functions with their names split into class and procedure, and the name index.
// All addresses are relative to the image base (RVAs).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/dwarf.h"
#include "tools/pe_image.h"

namespace vl::tools {

struct RvaRange {
  uint32_t Begin = 0;  // End excluded
  uint32_t End = 0;
};

// From Address on (until the next line's address, or the end of the range that holds it)
// the code belongs to Line.
struct UnitLine {
  uint32_t Address = 0;
  uint32_t Line = 0;
};

struct SourceUnit {
  std::string Name;  // the file's base name, "launcher.cpp", "widget.h"
  std::string Path;  // the full normalised path, which tells apart files of the same name
  std::vector<RvaRange> Ranges;  // sorted, disjoint, adjacent ranges merged
  std::vector<UnitLine> Lines;   // sorted by address, one entry per change of line
};

// A function's code range; a function split into parts (hot and cold code) has one entry
// per part. The qualified C++ name a::B::c gives ClassName "a.B", ProcedureName "c" and
// QualifiedName "a.B.c". Namespaces stay in the class part: the free function ns::f gives
// ClassName "ns", a function at global scope an empty ClassName.
struct FunctionInfo {
  uint32_t Address = 0;
  uint32_t Size = 0;
  std::string ClassName;
  std::string ProcedureName;
  std::string QualifiedName;
};

struct NameIndexEntry {
  std::string QualifiedName;
  uint32_t Address = 0;
};

struct DebugModel {
  bool Is64 = false;
  uint64_t ImageBase = 0;
  std::vector<SourceUnit> Units;          // sorted by their first address
  std::vector<FunctionInfo> Functions;    // sorted by address
  std::vector<NameIndexEntry> NameIndex;  // every function once (its first part), by name
};

// Reads the DWARF information of a PE image. Line rows and functions outside the image's
// code sections (left at address 0 for code the linker discarded) are dropped. Raises
// EDebugFormatError on malformed input; an image without .debug_info gives an empty model.
DebugModel BuildDebugModel(const PeImage& image);

// Finds the unit, line and function of an RVA in a model; for tools and tests.
struct SourceLocation {
  const SourceUnit* Unit = nullptr;
  uint32_t Line = 0;
  const FunctionInfo* Function = nullptr;
};
SourceLocation Locate(const DebugModel& model, uint32_t rva);

}  // namespace vl::tools
