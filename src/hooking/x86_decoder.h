// Length decoding of x86 machine instructions (32-bit and 64-bit modes), enough to move the first
// instructions of a routine elsewhere: the instruction's length, whether it transfers control,
// and where its relative operands sit. Pure byte work, no platform calls.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vl::hooking {

enum class TCpuMode { cmX86, cmX64 };

// The processor mode of this build.
#if defined(__x86_64__) || defined(_M_X64)
constexpr TCpuMode NativeCpuMode = TCpuMode::cmX64;
#else
constexpr TCpuMode NativeCpuMode = TCpuMode::cmX86;
#endif

enum class TInstructionKind {
  ikPlain,         // falls through to the next instruction
  ikCallRel32,     // E8 rel32
  ikJmpRel32,      // E9 rel32
  ikJccRel32,      // 0F 80..8F rel32
  ikShortBranch,   // EB, 70..7F, E0..E3 (rel8): cannot be moved
  ikReturn,        // C3, C2, CB, CA, CF
  ikJmpIndirect,   // FF /4, FF /5
  ikCallIndirect,  // FF /2, FF /3
  ikUnmovable,     // decodes, but has no meaning elsewhere (int3, far transfers, rel16 forms)
};

struct TInstruction {
  uint8_t Length = 0;  // whole instruction, prefixes included
  TInstructionKind Kind = TInstructionKind::ikPlain;
  // Offset of the rel32 operand of the relative branches (0 when none).
  uint8_t RelOffset = 0;
  // Offset of the 32-bit displacement of a RIP-relative memory operand (64-bit mode; 0 when none).
  uint8_t RipDispOffset = 0;
};

// Decodes the instruction at Code (at most Available bytes may be read). Returns false for bytes
// that are not an instruction this decoder knows, or that run past Available or 15 bytes.
bool DecodeInstruction(const uint8_t* code, size_t available, TCpuMode mode, TInstruction& out);

}  // namespace vl::hooking
