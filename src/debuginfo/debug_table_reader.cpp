#include "binary/byte_reader.h"
#include "debuginfo/data_versions.h"
#include "debuginfo/debug_table.h"
#include "debuginfo/string_mask.h"

namespace vl {
namespace {

bool ReadLength(binary::TByteReader& in, size_t& length) {
  int32_t value;
  if (!in.ReadI32(value) || value < 0) return false;
  length = static_cast<size_t>(value);
  return true;
}

}  // namespace

bool ReadDebugTable(const uint8_t* data, size_t size, uint16_t dataVersion, TDebugTable& table) {
  binary::TByteReader in(data, size);
  table = TDebugTable();
  size_t length;
  if (dataVersion >= kNameIndexVersion) {
    binary::TByteReader index(nullptr, 0);
    if (!ReadLength(in, length) || !in.Split(length, index)) return false;
    while (!index.AtEnd()) {
      TNameIndexEntry entry;
      if (!index.ReadShortString(entry.FullName, kStringMask) || !index.ReadI32(entry.Offset) ||
          !index.ReadI32(entry.Extra)) {
        return false;
      }
      table.Index.push_back(std::move(entry));
    }
  }
  size_t unitCount;
  if (!ReadLength(in, unitCount)) return false;
  for (size_t i = 0; i < unitCount; ++i) {
    TDebugUnit unit;
    binary::TByteReader records(nullptr, 0);
    if (!in.ReadShortString(unit.Name, kStringMask) || !in.ReadI32(unit.FirstLine) ||
        !in.ReadI32(unit.StartOffset) || !in.ReadI32(unit.CodeSize) || !ReadLength(in, length) ||
        !in.Split(length, records)) {
      return false;
    }
    while (!records.AtEnd()) {
      TLineRecord record;
      if (!ReadLineStep(records, dataVersion, record.Step)) return false;
      if (record.Step.HasName && !records.ReadShortString(record.Name, kStringMask)) return false;
      unit.Records.push_back(std::move(record));
    }
    table.Units.push_back(std::move(unit));
  }
  return in.AtEnd();
}

}  // namespace vl
