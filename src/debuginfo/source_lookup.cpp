#include "debuginfo/source_lookup.h"

#include <algorithm>

#include "binary/byte_reader.h"
#include "debuginfo/data_versions.h"
#include "debuginfo/line_record.h"
#include "debuginfo/name_rules.h"
#include "debuginfo/string_mask.h"

namespace vl {
namespace {

struct TUnitHeader {
  const uint8_t* Name = nullptr;  // masked; decoded only for the unit that holds the offset
  size_t NameLength = 0;
  int32_t FirstLine = 0;
  int32_t StartOffset = 0;
  int32_t CodeSize = 0;
};

bool ReadUnitHeader(binary::TByteReader& reader, TUnitHeader& unit, binary::TByteReader& records) {
  int32_t blockLength;
  if (!reader.ReadShortStringView(unit.Name, unit.NameLength) || !reader.ReadI32(unit.FirstLine) ||
      !reader.ReadI32(unit.StartOffset) || !reader.ReadI32(unit.CodeSize) ||
      !reader.ReadI32(blockLength) || blockLength < 0) {
    return false;
  }
  return reader.Split(static_cast<size_t>(blockLength), records);
}

// Walks the records of the unit that holds Offset. False when they are damaged.
bool FindInUnit(const TUnitHeader& unit, binary::TByteReader records, uint16_t dataVersion,
                int64_t offset, TSourceLocation& location) {
  const int64_t unitEnd = static_cast<int64_t>(unit.StartOffset) + unit.CodeSize;  // exclusive
  // The line wraps like the stored 32-bit value instead of overflowing.
  uint32_t line = static_cast<uint32_t>(unit.FirstLine);
  int64_t addr = unit.StartOffset;
  TNameState names;
  std::string procedure;
  auto hit = [&](int64_t end) {
    if (offset < addr || offset >= end) return false;
    location.ClassName = names.ClassName;
    location.ProcedureName = procedure;
    location.LineNumber = static_cast<int32_t>(line);
    return true;
  };
  while (!records.AtEnd()) {
    TLineStep step;
    if (!ReadLineStep(records, dataVersion, step)) return false;
    if (step.HasName) {
      std::string name;
      if (!records.ReadShortString(name, kStringMask)) return false;
      ApplyRecordName(name, names);
      if (procedure.empty()) procedure = names.ProcedureName;
    }
    if (hit(addr + step.AddrStep)) return true;
    procedure = names.ProcedureName;
    line += static_cast<uint32_t>(step.LineStep);
    addr += step.AddrStep;
  }
  return hit(unitEnd);
}

// Positions the reader at the unit count. False when the name index is damaged.
bool SkipNameIndex(binary::TByteReader& reader, uint16_t dataVersion) {
  if (dataVersion < kNameIndexVersion) return true;
  int32_t indexSize;
  return reader.ReadI32(indexSize) && indexSize >= 0 && reader.Skip(static_cast<size_t>(indexSize));
}

bool LocateInUnit(const TUnitHeader& unit, const binary::TByteReader& records, uint16_t dataVersion,
                  int64_t offset, TSourceLocation& location) {
  if (!FindInUnit(unit, records, dataVersion, offset, location)) return false;
  location.UnitName.assign(reinterpret_cast<const char*>(unit.Name), unit.NameLength);
  MaskString(location.UnitName);
  if (location.UnitName.find('.') == std::string::npos) location.UnitName += ".pas";
  return true;
}

}  // namespace

bool FindSourceLocation(const uint8_t* data, size_t size, uint16_t dataVersion, int64_t offset,
                        TSourceLocation& location) {
  binary::TByteReader reader(data, size);
  if (!SkipNameIndex(reader, dataVersion)) return false;
  int32_t unitCount;
  if (!reader.ReadI32(unitCount) || unitCount < 0) return false;
  for (int32_t i = 0; i < unitCount; ++i) {
    TUnitHeader unit;
    binary::TByteReader records(nullptr, 0);
    if (!ReadUnitHeader(reader, unit, records)) return false;
    const int64_t start = unit.StartOffset;
    if (offset < start || offset >= start + unit.CodeSize) continue;
    return LocateInUnit(unit, records, dataVersion, offset, location);
  }
  return false;
}

TUnitIndex::TUnitIndex(const uint8_t* data, size_t size, uint16_t dataVersion)
    : data_(data), size_(size), dataVersion_(dataVersion) {
  binary::TByteReader reader(data, size);
  int32_t unitCount;
  if (!SkipNameIndex(reader, dataVersion) || !reader.ReadI32(unitCount) || unitCount < 0) {
    damaged_ = true;
    return;
  }
  for (int32_t i = 0; i < unitCount; ++i) {
    const size_t at = reader.Position();
    TUnitHeader unit;
    binary::TByteReader records(nullptr, 0);
    if (!ReadUnitHeader(reader, unit, records) || at > UINT32_MAX) {
      damaged_ = true;
      break;
    }
    const int64_t start = unit.StartOffset, end = start + unit.CodeSize;
    if (end > start)
      ranges_.push_back({start, end, end, static_cast<uint32_t>(i), static_cast<uint32_t>(at)});
  }
  std::stable_sort(ranges_.begin(), ranges_.end(),
                   [](const TRange& a, const TRange& b) { return a.Start < b.Start; });
  int64_t maxEnd = INT64_MIN;
  for (TRange& range : ranges_) range.MaxEnd = maxEnd = std::max(maxEnd, range.End);
}

bool TUnitIndex::Find(int64_t offset, TSourceLocation& location) const {
  // The ranges that start at or below Offset, from the last one back while an earlier range
  // may still reach past it; the first of the table's units among those that hold it wins.
  auto past = std::upper_bound(ranges_.begin(), ranges_.end(), offset,
                               [](int64_t value, const TRange& r) { return value < r.Start; });
  const TRange* best = nullptr;
  for (auto it = past; it != ranges_.begin();) {
    --it;
    if (it->MaxEnd <= offset) break;
    if (offset < it->End && (!best || it->Order < best->Order)) best = &*it;
  }
  if (!best) return false;
  binary::TByteReader reader(data_, size_);
  TUnitHeader unit;
  binary::TByteReader records(nullptr, 0);
  if (!reader.Skip(best->HeaderAt) || !ReadUnitHeader(reader, unit, records)) return false;
  return LocateInUnit(unit, records, dataVersion_, offset, location);
}

}  // namespace vl
