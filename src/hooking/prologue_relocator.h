// Moves the first instructions of a routine to another address (the trampoline): copies whole
// instructions until at least the patch length is covered, re-aims relative branches and
// RIP-relative operands at their old destinations, and ends the copy with a jump back to the
// first instruction that was not copied. Pure byte work, no platform calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "hooking/x86_decoder.h"

namespace vl::hooking {

// Length of the patch written over a routine's entry: a 5-byte relative jump (E9 rel32).
constexpr size_t PatchLength = 5;

// Longest trampoline that RelocatePrologue produces: the moved instructions (at most
// PatchLength - 1 + 15 bytes) and the longest jump back.
constexpr size_t MaxTrampolineLength = PatchLength - 1 + 15 + 14;

struct TRelocatedPrologue {
  bool Ok = false;
  std::string Reason;         // why the routine cannot be moved (when not Ok)
  size_t SourceLength = 0;    // bytes of the routine that the trampoline replaces
  std::vector<uint8_t> Code;  // the trampoline, ready to be placed at its address
};

// Builds the trampoline for the routine whose first Available bytes are at Code, found at address
// Source, for placement at address Destination. Refuses short branches, branches into the patched
// bytes, instructions that mean nothing elsewhere, a routine that ends before PatchLength bytes,
// and (64-bit mode) relative operands that cannot reach their destination from the trampoline.
TRelocatedPrologue RelocatePrologue(const uint8_t* code, size_t available, uint64_t source,
                                    uint64_t destination, TCpuMode mode);

// A jump from address From to address To: E9 rel32 (5 bytes) when it reaches (always in 32-bit
// mode), otherwise in 64-bit mode the absolute form FF 25 00000000 followed by the 8-byte address.
std::vector<uint8_t> EncodeJump(uint64_t from, uint64_t to, TCpuMode mode);

// Whether a rel32 operand at an instruction ending at address From can reach To.
bool Rel32Reaches(uint64_t from, uint64_t to, TCpuMode mode);

}  // namespace vl::hooking
