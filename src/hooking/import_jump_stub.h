// The import jump stub: a routine address X whose bytes read FF 25 (jump through a memory slot)
// followed, at X + 6, by a two-byte filler, stands for the routine whose address that slot holds.
// The filler is 8B C0 (mov eax, eax) or 90 90 (two nops, the form the MinGW import libraries
// emit). The slot is the absolute 32-bit address at X + 2 in 32-bit code, and X + 6 plus the
// 32-bit displacement at X + 2 in 64-bit code (RIP-relative). Pure byte work.
#pragma once

#include <cstddef>
#include <cstdint>

#include "hooking/x86_decoder.h"

namespace vl::hooking {

constexpr size_t ImportJumpStubLength = 8;

// Given the first ImportJumpStubLength bytes at address Address, tells whether they form an
// import jump stub and, when they do, the address of its slot.
bool DecodeImportJumpStub(const uint8_t* bytes, uint64_t address, TCpuMode mode,
                          uint64_t& slotAddress);

}  // namespace vl::hooking
