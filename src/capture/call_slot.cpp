#include "capture/call_slot.h"

#include <cstring>

namespace vl::capture {

namespace {

int32_t Rel32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return static_cast<int32_t>(v);
}

TCallSite Relative(const uint8_t* before, uint64_t v, uint64_t mask) {
  TCallSite site;
  site.Form = TCallForm::cfRelative;
  site.Length = 5;
  site.Target = (v + static_cast<uint64_t>(static_cast<int64_t>(Rel32(before - 4)))) & mask;
  return site;
}

TCallSite Indirect(unsigned length) {
  TCallSite site;
  site.Form = TCallForm::cfIndirect;
  site.Length = length;
  return site;
}

TCallSite Recognize32(const uint8_t* b, size_t available, uint64_t v) {
  auto at = [&](unsigned k) -> int { return k <= available ? b[-static_cast<ptrdiff_t>(k)] : -1; };
  if (available < 7) return {};
  if (at(5) == 0xE8) return Relative(b, v, 0xFFFFFFFFu);
  const int c = at(2), m = at(1);
  if (c == 0xFF && m >= 0xD0 && m <= 0xD7) return Indirect(2);
  if (c == 0xFF && ((m >= 0x10 && m <= 0x13) || m == 0x16 || m == 0x17)) return Indirect(2);
  if (at(3) == 0xFF && ((c >= 0x50 && c <= 0x53) || (c >= 0x55 && c <= 0x57))) return Indirect(3);
  if (at(6) == 0xFF && ((at(5) >= 0x90 && at(5) <= 0x93) || (at(5) >= 0x95 && at(5) <= 0x97))) {
    return Indirect(6);
  }
  if (at(3) == 0xFF && c == 0x14 && m == 0x24) return Indirect(3);
  if (at(4) == 0xFF && at(3) == 0x54 && c == 0x24) return Indirect(4);
  if (at(7) == 0xFF && at(6) == 0x94 && at(5) == 0x24) return Indirect(7);
  if (at(6) == 0xFF && at(5) == 0x15) {
    TCallSite site;
    site.Form = TCallForm::cfAbsolute;
    site.Length = 6;
    site.SlotAddress = static_cast<uint32_t>(Rel32(b - 4));
    return site;
  }
  return {};
}

TCallSite Recognize64(const uint8_t* b, size_t available, uint64_t v) {
  // The relative call first (it is by far the most common), then RIP-relative FF 15, then the
  // other FF /2 forms from the shortest up.
  if (available >= 5 && b[-5] == 0xE8) return Relative(b, v, ~uint64_t{0});
  if (available >= 6 && b[-6] == 0xFF && b[-5] == 0x15) {
    TCallSite site;
    site.Form = TCallForm::cfAbsolute;
    site.Length = 6;
    site.SlotAddress = v + static_cast<uint64_t>(static_cast<int64_t>(Rel32(b - 4)));
    return site;
  }
  for (unsigned length = 2; length <= 9 && length <= available; ++length) {
    const uint8_t* start = b - length;
    hooking::TInstruction insn;
    if (!hooking::DecodeInstruction(start, length, hooking::TCpuMode::cmX64, insn)) continue;
    if (insn.Length != length || insn.Kind != hooking::TInstructionKind::ikCallIndirect) continue;
    // FF /2 only (FF /3 is a far call); the ModRM byte follows the prefixes and the opcode.
    size_t op = 0;
    while (op < length && start[op] != 0xFF) ++op;
    if (op + 1 >= length || ((start[op + 1] >> 3) & 7) != 2) continue;
    if ((start[op + 1] & 0xC7) == 0x05) continue;  // RIP-relative: handled above
    // The shortest decoding leaves out a REX prefix (41 FF D3 also ends in the call FF D3).
    if (op == 0 && length < available && (b[-static_cast<ptrdiff_t>(length) - 1] & 0xF0) == 0x40) {
      return Indirect(length + 1);
    }
    return Indirect(length);
  }
  return {};
}

}  // namespace

TCallSite RecognizeCall(const uint8_t* before, size_t available, uint64_t v,
                        hooking::TCpuMode mode) {
  if (!before) return {};
  return mode == hooking::TCpuMode::cmX86 ? Recognize32(before, available, v)
                                          : Recognize64(before, available, v);
}

}  // namespace vl::capture
