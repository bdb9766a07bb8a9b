#include "debuginfo/line_record.h"

#include <algorithm>

#include "debuginfo/data_versions.h"

namespace vl {
namespace {

// Bits 4-31 of a four-byte record that announce two 16-bit steps.
constexpr uint32_t kEscapeValue = 0x0FFEFFFE;
constexpr uint32_t kFourByteZeroAddr = 0xFFF;
constexpr uint32_t kFourByteMaxAddr = 0xFFE + 1;
constexpr uint32_t kEscapeMaxAddr = 0x10000;

int32_t Signed16PlusOne(uint32_t raw) {
  return static_cast<int16_t>(static_cast<uint16_t>(raw + 1));
}

bool InInt16(int32_t v) { return v >= -32768 && v <= 32767; }

bool FitsFourByte(const TLineStep& s, uint16_t dataVersion) {
  if (!InInt16(s.LineStep) || s.AddrStep > kFourByteMaxAddr) return false;
  // Line step -1 with address step 4095 spells the escape value in newer data.
  return !(dataVersion >= kLineEscapeVersion && s.LineStep == -1 && s.AddrStep == kFourByteMaxAddr);
}

bool FitsEscape(const TLineStep& s, uint16_t dataVersion) {
  return dataVersion >= kLineEscapeVersion && InInt16(s.LineStep) && s.AddrStep >= 1 &&
         s.AddrStep <= kEscapeMaxAddr;
}

}  // namespace

bool ReadLineStep(binary::TByteReader& reader, uint16_t dataVersion, TLineStep& step) {
  const binary::TByteReader start = reader;
  uint8_t f;
  if (!reader.ReadU8(f)) return false;
  if ((f & 1) == 0) {
    step.LineStep = (f >> 6) + 1;
    step.AddrStep = ((f >> 1) & 0x1F) + 1;
    step.HasName = false;
    return true;
  }
  if ((f & 2) == 0) {
    step.LineStep = (f >> 5) + 1;
    step.AddrStep = ((f >> 2) & 7) + 1;
    step.HasName = true;
    return true;
  }
  step.HasName = (f & 4) != 0;
  reader = start;
  if ((f & 8) == 0) {
    uint16_t w;
    if (!reader.ReadU16(w)) return false;
    step.LineStep = (w >> 11) + 1;
    step.AddrStep = ((w >> 4) & 0x7F) + 1;
    return true;
  }
  uint32_t q;
  if (!reader.ReadU32(q)) return false;
  if ((q >> 4) == kEscapeValue && dataVersion >= kLineEscapeVersion) {
    uint16_t d, a;
    if (!reader.ReadU16(d) || !reader.ReadU16(a)) {
      reader = start;
      return false;
    }
    step.LineStep = Signed16PlusOne(d);
    step.AddrStep = static_cast<uint32_t>(a) + 1;
    return true;
  }
  step.LineStep = Signed16PlusOne((q >> 4) & 0xFFFF);
  uint32_t a = q >> 20;
  step.AddrStep = a == kFourByteZeroAddr ? 0 : a + 1;
  return true;
}

bool LineStepFits(const TLineStep& step, uint16_t dataVersion) {
  return FitsFourByte(step, dataVersion) || FitsEscape(step, dataVersion);
}

void WriteLineStep(TByteWriter& w, const TLineStep& s, uint16_t dataVersion) {
  const int32_t d = s.LineStep;
  const uint32_t a = s.AddrStep;
  if (!s.HasName && d >= 1 && d <= 4 && a >= 1 && a <= 32) {
    w.WriteU8(static_cast<uint8_t>((d - 1) << 6 | (a - 1) << 1));
  } else if (s.HasName && d >= 1 && d <= 8 && a >= 1 && a <= 8) {
    w.WriteU8(static_cast<uint8_t>((d - 1) << 5 | (a - 1) << 2 | 1));
  } else if (d >= 1 && d <= 32 && a >= 1 && a <= 128) {
    w.WriteU16(static_cast<uint16_t>((d - 1) << 11 | (a - 1) << 4 | (s.HasName ? 4 : 0) | 3));
  } else if (FitsFourByte(s, dataVersion)) {
    uint32_t rawD = static_cast<uint16_t>(d - 1);
    uint32_t rawA = a == 0 ? kFourByteZeroAddr : a - 1;
    w.WriteU32(rawA << 20 | rawD << 4 | (s.HasName ? 4u : 0u) | 0xB);
  } else if (FitsEscape(s, dataVersion)) {
    w.WriteU32(kEscapeValue << 4 | (s.HasName ? 4u : 0u) | 0xB);
    w.WriteU16(static_cast<uint16_t>(d - 1));
    w.WriteU16(static_cast<uint16_t>(a - 1));
  } else {
    throw Exception(Format("Line step %d/%u fits no record", d, a));
  }
}

std::vector<TLineStep> SplitLineStep(TLineStep step, uint16_t dataVersion) {
  std::vector<TLineStep> out;
  if (LineStepFits(step, dataVersion)) {
    out.push_back(step);
    return out;
  }
  if (step.HasName) {
    throw Exception(Format("Named line step %d/%u fits no record", step.LineStep, step.AddrStep));
  }
  const uint32_t maxAddr = dataVersion >= kLineEscapeVersion ? kEscapeMaxAddr : kFourByteMaxAddr;
  uint32_t addr = step.AddrStep;
  while (addr > maxAddr) {
    out.push_back({0, maxAddr, false});
    addr -= maxAddr;
  }
  int64_t line = step.LineStep;
  int32_t first = static_cast<int32_t>(std::clamp<int64_t>(line, -32767, 32767));
  out.push_back({first, addr, false});
  line -= first;
  while (line != 0) {
    int32_t part = static_cast<int32_t>(std::clamp<int64_t>(line, -32767, 32767));
    out.push_back({part, 0, false});
    line -= part;
  }
  return out;
}

}  // namespace vl
