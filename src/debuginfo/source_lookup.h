// Finds the unit, class, procedure and line of a code offset in a module's debug information.
// The records of units whose code range does not hold the offset are skipped undecoded; with a
// unit index, built once per table, they are not even passed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vl {

struct TSourceLocation {
  std::string UnitName;
  std::string ClassName;
  std::string ProcedureName;
  int32_t LineNumber = 0;
};

// Offset: the address minus (module base + 4096). Damaged or cut-off information gives false.
bool FindSourceLocation(const uint8_t* data, size_t size, uint16_t dataVersion, int64_t offset,
                        TSourceLocation& location);

// The code ranges of a table's units, sorted, read in one pass over the unit headers. A look-up
// through it gives exactly what FindSourceLocation gives on the same bytes (the first unit in
// the table that holds the offset; false where the table is damaged before that unit), in
// logarithmic time for tables whose ranges do not overlap. The bytes must outlive the index.
class TUnitIndex {
 public:
  TUnitIndex(const uint8_t* data, size_t size, uint16_t dataVersion);
  // The table it was built for.
  const uint8_t* Data() const { return data_; }
  bool Find(int64_t offset, TSourceLocation& location) const;

 private:
  struct TRange {
    int64_t Start;
    int64_t End;  // exclusive; the largest End of this and every earlier range in MaxEnd
    int64_t MaxEnd;
    uint32_t Order;     // the unit's place in the table
    uint32_t HeaderAt;  // its header's position in the bytes
  };
  const uint8_t* data_;
  size_t size_;
  uint16_t dataVersion_;
  std::vector<TRange> ranges_;
  bool damaged_ = false;  // the headers could not all be read: units past the damage are unknown
};

}  // namespace vl
