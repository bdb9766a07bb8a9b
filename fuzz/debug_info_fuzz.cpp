// Fuzz target: debug information of any shape. The first two bytes pick the data version; the
// rest is the debug information. Lookups must end without faults, the unit index must find what
// the plain look-up finds, and whatever the table reader accepts must come back unchanged
// through the writer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "debuginfo/debug_table.h"
#include "debuginfo/name_index.h"
#include "debuginfo/source_lookup.h"

using namespace vl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static const uint16_t kVersions[] = {400, 405, 422, 423, 454};
  const uint16_t version = kVersions[data[0] % 5];
  const int64_t probe = static_cast<int64_t>(data[1]) * 37 - 64;
  data += 2;
  size -= 2;

  const vl::TUnitIndex units(data, size, version);
  for (int64_t offset : {probe, int64_t{0}, int64_t{1} << 20, int64_t{-1}}) {
    vl::TSourceLocation plain, indexed;
    const bool found = vl::FindSourceLocation(data, size, version, offset, plain);
    if (units.Find(offset, indexed) != found) abort();
    if (found &&
        (plain.UnitName != indexed.UnitName || plain.ClassName != indexed.ClassName ||
         plain.ProcedureName != indexed.ProcedureName || plain.LineNumber != indexed.LineNumber))
      abort();
  }
  int32_t found;
  vl::FindNameIndexOffset(data, size, version, "Main.TForm1.Open", found);

  vl::TDebugTable table;
  if (!vl::ReadDebugTable(data, size, version, table)) return 0;
  std::vector<uint8_t> again = vl::WriteDebugTable(table, version);
  vl::TDebugTable back;
  if (!vl::ReadDebugTable(again.data(), again.size(), version, back) || !(back == table)) abort();
  for (const vl::TNameIndexEntry& entry : table.Index) {
    if (!vl::FindNameIndexOffset(again.data(), again.size(), version, entry.FullName, found))
      abort();
  }
  return 0;
}
