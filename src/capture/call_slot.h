// Recognising return addresses on a stack: does a call instruction end exactly at a candidate
// value V? The call-stack walk keeps every stack slot whose value passes this test. Pure byte
// work over the bytes just before V.
//
// 32-bit code: the fixed byte patterns of the x86 call forms (relative, through a register,
// through memory addressed by a register with or without displacement, through the stack
// pointer, through an absolute address), tried in a fixed order. 64-bit code: the bytes before V
// are decoded with the hooking engine's decoder for each length a call can have (E8 rel32,
// FF /2 with any REX prefix, addressing form and RIP-relative FF 15).
#pragma once

#include <cstddef>
#include <cstdint>

#include "hooking/x86_decoder.h"

namespace vl::capture {

enum class TCallForm {
  cfNone,
  cfRelative,  // E8 rel32: the target is known
  cfIndirect,  // through a register or memory
  cfAbsolute,  // through a memory slot whose address is known (32-bit FF 15 abs32, 64-bit FF 15
               // RIP-relative): the slot must be readable to count
};

struct TCallSite {
  TCallForm Form = TCallForm::cfNone;
  unsigned Length = 0;       // the call instruction's length: the call site is V - Length
  uint64_t Target = 0;       // cfRelative: the called address
  uint64_t SlotAddress = 0;  // cfAbsolute: the memory slot holding the target
};

// Before points at the byte just before V (Before[-1] is b[-1]); Available bytes before V may
// be read (at most 16 are used). V is the candidate value itself.
TCallSite RecognizeCall(const uint8_t* before, size_t available, uint64_t v,
                        hooking::TCpuMode mode);

}  // namespace vl::capture
