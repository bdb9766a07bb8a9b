// One line record of a unit: how far the address and the line advance, and whether a name
// follows. Four forms of 1, 1, 2 and 4 bytes, plus an 8-byte escape for steps no form holds.
#pragma once

#include <cstdint>
#include <vector>

#include "binary/byte_reader.h"
#include "debuginfo/byte_writer.h"

namespace vl {

struct TLineStep {
  int32_t LineStep = 0;   // D: may be negative or 0
  uint32_t AddrStep = 0;  // A: 0 to 65536
  bool HasName = false;   // a masked short string follows the record
  bool operator==(const TLineStep& o) const {
    return LineStep == o.LineStep && AddrStep == o.AddrStep && HasName == o.HasName;
  }
};

// Reads one record (not its name). False when the record is cut off by the end of the bytes.
bool ReadLineStep(binary::TByteReader& reader, uint16_t dataVersion, TLineStep& step);

// True when one record of the given data version holds the step.
bool LineStepFits(const TLineStep& step, uint16_t dataVersion);

// Writes the step in the smallest form that holds it; LineStepFits must be true.
void WriteLineStep(TByteWriter& writer, const TLineStep& step, uint16_t dataVersion);

// Splits a step without a name that no single record holds into records that give every address
// the same line as the one step would: address chunks with line step 0 first, then the rest of
// the line step with address step 0. A step that fits stays whole. A named step cannot be split
// (the addresses after the first part would change procedure) and raises Exception when it does
// not fit.
std::vector<TLineStep> SplitLineStep(TLineStep step, uint16_t dataVersion);

}  // namespace vl
