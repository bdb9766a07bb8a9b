// A focused reader of the DWARF debug information that GCC (MinGW) writes: the line tables of
// .debug_line (versions 2 to 5) and the subprograms of .debug_info (versions 2 to 5) with
// their qualified names and address ranges. Malformed input raises EDebugFormatError.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/format_error.h"

namespace vl::tools {

class PeImage;

// The debug sections; an absent section is an empty span.
struct DwarfSections {
  ByteSpan Info, Abbrev, Line, Str, LineStr, Ranges, RngLists, Addr, StrOffsets;

  static DwarfSections FromPe(const PeImage& image);
};

// One row of a line table. File indexes LineTable::Files; kNoFile when the row named a file
// the table does not have.
struct LineRow {
  static constexpr uint32_t kNoFile = 0xffffffffu;
  uint64_t Address = 0;
  uint32_t File = kNoFile;
  uint32_t Line = 0;
  bool EndSequence = false;
};

struct LineTable {
  uint64_t Offset = 0;  // of the table in .debug_line
  uint16_t Version = 0;
  std::vector<std::string> Files;  // full paths, lexically normalised
  std::vector<LineRow> Rows;       // in the order the program produced them
};

// The line table at Offset of .debug_line. CompDir is the compilation directory of the unit
// that refers to it (directory 0 before version 5); AddressSize is that unit's (version 5
// tables carry their own).
LineTable ReadLineTable(const DwarfSections& sections, uint64_t offset, const std::string& compDir,
                        unsigned addressSize);

struct AddressRange {
  uint64_t Begin = 0;  // absolute addresses, End excluded
  uint64_t End = 0;
};

// A subprogram with code: its qualified name as scopes (namespaces, classes, enclosing
// functions, outermost first) and its own name, and its code ranges.
struct DwarfFunction {
  std::vector<std::string> Scopes;
  std::string Name;
  std::string LinkageName;
  std::vector<AddressRange> Ranges;
};

// One compilation unit: its name, directory, line table (when it has one) and functions.
struct DwarfUnit {
  uint64_t Offset = 0;
  uint16_t Version = 0;
  unsigned AddressSize = 0;
  std::string Name;
  std::string CompDir;
  bool HasLineTable = false;
  uint64_t LineOffset = 0;
};

struct DwarfInfo {
  std::vector<DwarfUnit> Units;
  std::vector<DwarfFunction> Functions;
};

// Reads every compilation unit of .debug_info. Type units and split units are skipped.
DwarfInfo ReadDwarfInfo(const DwarfSections& sections);

// Lexical normalisation of a path: '\' and '/' both separate, "." and empty parts go, ".."
// removes the part before it; the result uses '/'. A drive ("C:") or leading '/' is kept.
std::string NormalizePath(const std::string& path);
// Joins Dir and Name unless Name is absolute (leading '/' or '\', or a drive letter).
std::string JoinPath(const std::string& dir, const std::string& name);
// The part after the last '/' or '\'.
std::string BaseName(const std::string& path);

}  // namespace vl::tools
