#include "debuginfo/byte_writer.h"
#include "debuginfo/data_versions.h"
#include "debuginfo/debug_table.h"

namespace vl {
namespace {

void WriteRecords(TByteWriter& out, const std::vector<TLineRecord>& records, uint16_t dataVersion) {
  for (const TLineRecord& record : records) {
    for (const TLineStep& step : SplitLineStep(record.Step, dataVersion)) {
      WriteLineStep(out, step, dataVersion);
      if (step.HasName) out.WriteShortString(record.Name);
    }
  }
}

void WriteLength(TByteWriter& out, size_t length) {
  if (length > INT32_MAX) throw Exception("Debug information too large");
  out.WriteI32(static_cast<int32_t>(length));
}

}  // namespace

std::vector<uint8_t> WriteDebugTable(const TDebugTable& table, uint16_t dataVersion) {
  TByteWriter out;
  if (dataVersion >= kNameIndexVersion) {
    TByteWriter index;
    for (const TNameIndexEntry& entry : table.Index) {
      index.WriteShortString(entry.FullName);
      index.WriteI32(entry.Offset);
      index.WriteI32(entry.Extra);
    }
    WriteLength(out, index.Bytes().size());
    out.WriteBytes(index.Bytes());
  }
  WriteLength(out, table.Units.size());
  for (const TDebugUnit& unit : table.Units) {
    TByteWriter records;
    WriteRecords(records, unit.Records, dataVersion);
    out.WriteShortString(unit.Name);
    out.WriteI32(unit.FirstLine);
    out.WriteI32(unit.StartOffset);
    out.WriteI32(unit.CodeSize);
    WriteLength(out, records.Bytes().size());
    out.WriteBytes(records.Bytes());
  }
  return std::move(out.Bytes());
}

}  // namespace vl
