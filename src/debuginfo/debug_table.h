// The debug information of one module as a table: the name index and, per unit, its code range
// and line records. The writer turns a table into bytes; the reader turns bytes back into the
// same table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "debuginfo/line_record.h"

namespace vl {

struct TLineRecord {
  TLineStep Step;
  std::string Name;  // stored only when Step.HasName
  bool operator==(const TLineRecord& o) const { return Step == o.Step && Name == o.Name; }
};

struct TDebugUnit {
  std::string Name;  // "Main.pas"; a name without "." is read back with ".pas"
  int32_t FirstLine = 0;
  int32_t StartOffset = 0;  // from the module's load address plus 4096
  int32_t CodeSize = 0;
  std::vector<TLineRecord> Records;
  bool operator==(const TDebugUnit& o) const {
    return Name == o.Name && FirstLine == o.FirstLine && StartOffset == o.StartOffset &&
           CodeSize == o.CodeSize && Records == o.Records;
  }
};

struct TNameIndexEntry {
  std::string FullName;  // "Unit.Class.Proc"
  int32_t Offset = 0;
  int32_t Extra = 0;  // carried along, not used by lookups
  bool operator==(const TNameIndexEntry& o) const {
    return FullName == o.FullName && Offset == o.Offset && Extra == o.Extra;
  }
};

struct TDebugTable {
  std::vector<TNameIndexEntry> Index;  // written only for data versions that have it
  std::vector<TDebugUnit> Units;
  bool operator==(const TDebugTable& o) const { return Index == o.Index && Units == o.Units; }
};

// Writes the table in the layout of DataVersion, each step in the smallest record that holds
// it; an unnamed step that no record holds is written as several (SplitLineStep). Raises
// Exception for a named step that no record holds and for a name longer than 255 bytes.
std::vector<uint8_t> WriteDebugTable(const TDebugTable& table, uint16_t dataVersion);

// Reads the whole table back. False when the bytes are damaged or cut off, or have bytes left
// over after the last unit.
bool ReadDebugTable(const uint8_t* data, size_t size, uint16_t dataVersion, TDebugTable& table);

}  // namespace vl
