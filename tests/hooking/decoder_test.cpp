// Instruction lengths and kinds of the prologue instructions the engine meets in practice, in
// both processor modes, and the refusals.
#include <gtest/gtest.h>

#include <vector>

#include "hooking/x86_decoder.h"

using namespace vl;

using hooking::DecodeInstruction;
using hooking::TCpuMode;
using hooking::TInstruction;
using K = hooking::TInstructionKind;

namespace {

struct TCase {
  std::vector<uint8_t> bytes;
  size_t length;
  K kind;
};

void ExpectDecodes(const std::vector<TCase>& cases, TCpuMode mode) {
  for (const TCase& c : cases) {
    TInstruction ins;
    std::vector<uint8_t> padded = c.bytes;
    padded.resize(padded.size() + 8, 0x90);  // the decoder must stop by itself
    ASSERT_TRUE(DecodeInstruction(padded.data(), padded.size(), mode, ins))
        << "first byte " << std::hex << int(c.bytes[0]) << " size " << c.bytes.size();
    EXPECT_EQ(ins.Length, c.length) << "first byte " << std::hex << int(c.bytes[0]);
    EXPECT_EQ(ins.Kind, c.kind) << "first byte " << std::hex << int(c.bytes[0]);
  }
}

}  // namespace

TEST(X86Decoder, ThirtyTwoBitPrologues) {
  ExpectDecodes(
      {
          {{0x8B, 0xFF}, 2, K::ikPlain},                          // mov edi, edi
          {{0x55}, 1, K::ikPlain},                                // push ebp
          {{0x8B, 0xEC}, 2, K::ikPlain},                          // mov ebp, esp
          {{0x89, 0xE5}, 2, K::ikPlain},                          // mov ebp, esp
          {{0x83, 0xEC, 0x18}, 3, K::ikPlain},                    // sub esp, 18h
          {{0x81, 0xEC, 0, 1, 0, 0}, 6, K::ikPlain},              // sub esp, 100h
          {{0x6A, 0x08}, 2, K::ikPlain},                          // push 8
          {{0x68, 1, 2, 3, 4}, 5, K::ikPlain},                    // push imm32
          {{0x64, 0xA1, 0, 0, 0, 0}, 6, K::ikPlain},              // mov eax, fs:[0]
          {{0xA1, 1, 2, 3, 4}, 5, K::ikPlain},                    // mov eax, [moffs32]
          {{0x8D, 0x44, 0x24, 0x04}, 4, K::ikPlain},              // lea eax, [esp+4]
          {{0x8B, 0x85, 0, 1, 0, 0}, 6, K::ikPlain},              // mov eax, [ebp+100h]
          {{0x8B, 0x04, 0x25, 1, 2, 3, 4}, 7, K::ikPlain},        // mov eax, [abs32] (SIB)
          {{0xC7, 0x45, 0xFC, 0, 0, 0, 0}, 7, K::ikPlain},        // mov dword [ebp-4], 0
          {{0x66, 0xC7, 0x45, 0xFC, 0x12, 0x34}, 6, K::ikPlain},  // mov word [ebp-4], imm16
          {{0x66, 0x8B, 0x46, 0x02}, 4, K::ikPlain},              // 16-bit operand
          {{0x67, 0x8B, 0x46, 0x02}, 4, K::ikPlain},              // 16-bit addressing
          {{0x0F, 0xB6, 0xC0}, 3, K::ikPlain},                    // movzx eax, al
          {{0xF3, 0x0F, 0x10, 0x44, 0x24, 0x04}, 6, K::ikPlain},  // movss xmm0, [esp+4]
          {{0x0F, 0x1F, 0x44, 0x00, 0x00}, 5, K::ikPlain},        // nop dword [eax+eax]
          {{0x66, 0x0F, 0x3A, 0x0F, 0xC1, 0x08}, 6, K::ikPlain},  // palignr
          {{0xF6, 0x45, 0x08, 0x01}, 4, K::ikPlain},              // test byte [ebp+8], 1
          {{0xF7, 0xD8}, 2, K::ikPlain},                          // neg eax
          {{0xD9, 0x45, 0x08}, 3, K::ikPlain},                    // fld dword [ebp+8]
          {{0x40}, 1, K::ikPlain},                                // inc eax
          {{0xC8, 0x10, 0x00, 0x00}, 4, K::ikPlain},              // enter 10h, 0
          {{0xE8, 1, 2, 3, 4}, 5, K::ikCallRel32},                // call rel32
          {{0xE9, 1, 2, 3, 4}, 5, K::ikJmpRel32},                 // jmp rel32
          {{0x0F, 0x85, 1, 2, 3, 4}, 6, K::ikJccRel32},           // jne rel32
          {{0xEB, 0x05}, 2, K::ikShortBranch},                    // jmp short
          {{0x74, 0x05}, 2, K::ikShortBranch},                    // je short
          {{0xE3, 0x05}, 2, K::ikShortBranch},                    // jecxz
          {{0xC3}, 1, K::ikReturn},                               // ret
          {{0xC2, 0x08, 0x00}, 3, K::ikReturn},                   // ret 8
          {{0xFF, 0x25, 1, 2, 3, 4}, 6, K::ikJmpIndirect},        // jmp [abs32]
          {{0xFF, 0x15, 1, 2, 3, 4}, 6, K::ikCallIndirect},       // call [abs32]
          {{0xCC}, 1, K::ikUnmovable},                            // int3
          {{0x9A, 1, 2, 3, 4, 5, 6}, 7, K::ikUnmovable},          // call far
          {{0x66, 0xE8, 1, 2}, 4, K::ikUnmovable},                // call rel16
      },
      TCpuMode::cmX86);
}

TEST(X86Decoder, SixtyFourBitPrologues) {
  ExpectDecodes(
      {
          {{0x48, 0x8D, 0xA4, 0x24, 0, 0, 0, 0}, 8, K::ikPlain},           // lea rsp, [rsp+0]
          {{0x48, 0x83, 0xEC, 0x28}, 4, K::ikPlain},                       // sub rsp, 28h
          {{0x48, 0x81, 0xEC, 0, 1, 0, 0}, 7, K::ikPlain},                 // sub rsp, 100h
          {{0x66, 0x0F, 0xEF, 0xC0}, 4, K::ikPlain},                       // pxor xmm0, xmm0
          {{0x41, 0xB8, 1, 0, 0, 0}, 6, K::ikPlain},                       // mov r8d, 1
          {{0x48, 0x89, 0x4C, 0x24, 0x30}, 5, K::ikPlain},                 // mov [rsp+30h], rcx
          {{0x4C, 0x8D, 0x4C, 0x24, 0x30}, 5, K::ikPlain},                 // lea r9, [rsp+30h]
          {{0x0F, 0x11, 0x41, 0x10}, 4, K::ikPlain},                       // movups [rcx+10h], xmm0
          {{0x53}, 1, K::ikPlain},                                         // push rbx
          {{0x41, 0x54}, 2, K::ikPlain},                                   // push r12
          {{0x41, 0x57}, 2, K::ikPlain},                                   // push r15
          {{0x48, 0x89, 0xCB}, 3, K::ikPlain},                             // mov rbx, rcx
          {{0x48, 0x89, 0x5C, 0x24, 0x08}, 5, K::ikPlain},                 // mov [rsp+8], rbx
          {{0x65, 0x48, 0x8B, 0x04, 0x25, 0x30, 0, 0, 0}, 9, K::ikPlain},  // mov rax, gs:[30h]
          {{0x8B, 0x04, 0x25, 0x20, 0x03, 0xFE, 0x7F}, 7, K::ikPlain},     // mov eax, [7FFE0320h]
          {{0x48, 0xB8, 1, 2, 3, 4, 5, 6, 7, 8}, 10, K::ikPlain},          // mov rax, imm64
          {{0xA1, 1, 2, 3, 4, 5, 6, 7, 8}, 9, K::ikPlain},                 // mov eax, [moffs64]
          {{0x48, 0x8B, 0x05, 1, 2, 3, 4}, 7, K::ikPlain},                 // mov rax, [rip+x]
          {{0xF3, 0x48, 0x0F, 0xB8, 0xC1}, 5, K::ikPlain},                 // popcnt rax, rcx
          {{0xFF, 0x25, 1, 2, 3, 4}, 6, K::ikJmpIndirect},                 // jmp [rip+x]
          {{0x41, 0xFF, 0xE3}, 3, K::ikJmpIndirect},                       // jmp r11
          {{0xE8, 1, 2, 3, 4}, 5, K::ikCallRel32},
      },
      TCpuMode::cmX64);
}

TEST(X86Decoder, RelativeOperandOffsets) {
  TInstruction ins;
  const uint8_t call[] = {0xE8, 1, 2, 3, 4};
  ASSERT_TRUE(DecodeInstruction(call, sizeof call, TCpuMode::cmX86, ins));
  EXPECT_EQ(ins.RelOffset, 1);
  EXPECT_EQ(ins.RipDispOffset, 0);
  const uint8_t jne[] = {0x0F, 0x85, 1, 2, 3, 4};
  ASSERT_TRUE(DecodeInstruction(jne, sizeof jne, TCpuMode::cmX86, ins));
  EXPECT_EQ(ins.RelOffset, 2);
  // mov dword [rip+x], imm32: the displacement comes before the immediate.
  const uint8_t store[] = {0xC7, 0x05, 1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_TRUE(DecodeInstruction(store, sizeof store, TCpuMode::cmX64, ins));
  EXPECT_EQ(ins.Length, 10);
  EXPECT_EQ(ins.RipDispOffset, 2);
  // The same bytes in 32-bit mode address an absolute location: nothing to re-aim.
  ASSERT_TRUE(DecodeInstruction(store, sizeof store, TCpuMode::cmX86, ins));
  EXPECT_EQ(ins.RipDispOffset, 0);
  // gs:[abs32] through a SIB byte without base is not RIP-relative either.
  const uint8_t teb[] = {0x65, 0x48, 0x8B, 0x04, 0x25, 0x30, 0, 0, 0};
  ASSERT_TRUE(DecodeInstruction(teb, sizeof teb, TCpuMode::cmX64, ins));
  EXPECT_EQ(ins.RipDispOffset, 0);
}

TEST(X86Decoder, RefusesWhatItDoesNotKnowOrCannotFinish) {
  TInstruction ins;
  const std::vector<std::vector<uint8_t>> x64Invalid = {{0x06},
                                                        {0x27},
                                                        {0x60},
                                                        {0x62, 0x00},
                                                        {0xC4, 0xE2, 0x79, 0x18},
                                                        {0xEA, 1, 2, 3, 4, 5, 6},
                                                        {0x48, 0x48, 0x90},
                                                        {0x48, 0x66, 0x90},
                                                        {0x67, 0x8B, 0x05, 1, 2, 3, 4}};
  for (const auto& bytes : x64Invalid) {
    EXPECT_FALSE(DecodeInstruction(bytes.data(), bytes.size(), TCpuMode::cmX64, ins))
        << std::hex << int(bytes[0]);
  }
  const std::vector<std::vector<uint8_t>> invalid = {
      {0x0F, 0x0F, 0xC0, 0x00}, {0xFF, 0xFF}, {0xD6}, {0x0F, 0x04}, {0x8F, 0xC8},
      {0xC7, 0xF8, 1, 2, 3, 4}};
  for (const auto& bytes : invalid) {
    EXPECT_FALSE(DecodeInstruction(bytes.data(), bytes.size(), TCpuMode::cmX86, ins));
    EXPECT_FALSE(DecodeInstruction(bytes.data(), bytes.size(), TCpuMode::cmX64, ins));
  }
  // Truncated instructions.
  const uint8_t call[] = {0xE8, 1, 2, 3, 4};
  EXPECT_FALSE(DecodeInstruction(call, 4, TCpuMode::cmX86, ins));
  EXPECT_TRUE(DecodeInstruction(call, 5, TCpuMode::cmX86, ins));
  const uint8_t sib[] = {0x8B, 0x04};
  EXPECT_FALSE(DecodeInstruction(sib, sizeof sib, TCpuMode::cmX86, ins));
  EXPECT_FALSE(DecodeInstruction(call, 0, TCpuMode::cmX86, ins));
  EXPECT_FALSE(DecodeInstruction(nullptr, 5, TCpuMode::cmX86, ins));
  // More than 15 bytes.
  std::vector<uint8_t> prefixes(15, 0x66);
  prefixes.push_back(0x90);
  EXPECT_FALSE(DecodeInstruction(prefixes.data(), prefixes.size(), TCpuMode::cmX86, ins));
  EXPECT_EQ(ins.Length, 0);
}
