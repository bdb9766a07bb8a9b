// Executable memory for trampolines. On 64-bit Windows a slot lies within reach of a 32-bit
// displacement (about 2 GB) from the routine it serves, so that the patch is a 5-byte relative
// jump and the moved instructions keep their relative operands; blocks are reserved near the
// routine by searching the free regions around it. On 32-bit Windows every address is in reach.
// Slots are written only through WriteCode; their pages stay execute-read otherwise.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vl::hooking {

constexpr size_t CodeSlotSize = 64;

// A slot of CodeSlotSize bytes (filled with int3) in reach of NearAddress, or null when none
// can be had.
uint8_t* AllocateCodeSlot(const void* nearAddress);

// Gives a slot back; its bytes are overwritten with int3 so a stray jump into it traps.
void FreeCodeSlot(uint8_t* slot);

}  // namespace vl::hooking
