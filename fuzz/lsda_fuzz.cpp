// Fuzz target: the C++ handler-table interpreter and the call-frame CIE reader on arbitrary bytes.
// The first input byte picks the width and the looked-up address; every pointer read answers
// from the input itself, so indirect entries are exercised too. The type test accepts odd
// addresses; the table is also read with a test that accepts every type and one that accepts
// none. Checked: no type accepted, no typed catch; every type accepted, a terminate only where
// accepting none ends unhandled too (a throw list that passes one type cannot stop another).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "capture/call_slot.h"
#include "capture/cie_personality.h"
#include "capture/lsda_interpreter.h"

using namespace vl;

namespace {

class InputProcess : public capture::TLsdaContext {
 public:
  enum TAccept { taOdd, taAll, taNone };
  InputProcess(const uint8_t* data, size_t size, uint64_t at) : FData(data), FSize(size), FAt(at) {}
  TAccept Accept = taOdd;
  bool ReadPointer(uint64_t address, uint64_t& value) override {
    if (address < FAt || address - FAt + 8 > FSize) return false;
    std::memcpy(&value, FData + (address - FAt), 8);
    return true;
  }
  bool Catches(uint64_t typeInfo) override {
    return Accept == taAll || (Accept == taOdd && (typeInfo & 1) != 0);
  }

 private:
  const uint8_t* FData;
  size_t FSize;
  uint64_t FAt;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t selector = data[0];
  const uint8_t* table = data + 1;
  const size_t n = size - 1;
  const uint64_t at = 0x10000;
  InputProcess process(table, n, at);
  capture::TLsdaFrame frame;
  frame.Table = table;
  frame.Size = n;
  frame.TableAddress = at;
  frame.RegionStart = 0x400000;
  frame.Ip = frame.RegionStart + (selector >> 1);
  frame.PointerSize = (selector & 1) ? 8 : 4;
  using V = capture::TLsdaVerdict;
  capture::InterpretLsda(frame, process);
  process.Accept = InputProcess::taNone;
  const V none = capture::InterpretLsda(frame, process);
  process.Accept = InputProcess::taAll;
  const V all = capture::InterpretLsda(frame, process);
  if (none == V::lvCatchTyped ||
      (all == V::lvTerminate && none != V::lvTerminate && none != V::lvMalformed))
    std::abort();
  uint64_t personality = 0, cie = 0;
  capture::CiePersonality(table, n, at, frame.PointerSize, process, personality);
  capture::CieOfFde(table, n, at, cie);
  capture::RecognizeCall(table + n, n, 0x401000,
                         (selector & 1) ? hooking::TCpuMode::cmX64 : hooking::TCpuMode::cmX86);
  return 0;
}
