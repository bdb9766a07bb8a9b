// Moving prologues: the real prologues the engine must serve, re-aimed operands, the jump back,
// and the refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "hooking/import_jump_stub.h"
#include "hooking/prologue_relocator.h"

using namespace vl;

using hooking::EncodeJump;
using hooking::RelocatePrologue;
using hooking::TCpuMode;
using hooking::TRelocatedPrologue;

namespace {

using Bytes = std::vector<uint8_t>;

int32_t Rel32At(const Bytes& code, size_t offset) {
  int32_t v;
  std::memcpy(&v, code.data() + offset, 4);
  return v;
}

Bytes Rel32(int64_t value) {
  uint32_t v = static_cast<uint32_t>(value);
  return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TRelocatedPrologue Move(const Bytes& code, uint64_t source, uint64_t destination, TCpuMode mode) {
  return RelocatePrologue(code.data(), code.size(), source, destination, mode);
}

// Where the jump that ends the trampoline at Destination goes.
uint64_t JumpBackTarget(const TRelocatedPrologue& r, uint64_t destination) {
  const Bytes& c = r.Code;
  if (c[c.size() - 5] == 0xE9) {
    return destination + c.size() + static_cast<int64_t>(Rel32At(c, c.size() - 4));
  }
  uint64_t target;
  std::memcpy(&target, c.data() + c.size() - 8, 8);
  return target;
}

}  // namespace

TEST(RelocatePrologue, ThirtyTwoBitPrologues) {
  const uint64_t src = 0x7B801000, dst = 0x00350040;
  // Hot-patch prologue of the system's exports: mov edi,edi; push ebp; mov ebp,esp.
  auto r = Move({0x8B, 0xFF, 0x55, 0x8B, 0xEC, 0x83, 0xEC, 0x10}, src, dst, TCpuMode::cmX86);
  ASSERT_TRUE(r.Ok) << r.Reason;
  EXPECT_EQ(r.SourceLength, 5u);
  EXPECT_EQ(Bytes(r.Code.begin(), r.Code.begin() + 5), Bytes({0x8B, 0xFF, 0x55, 0x8B, 0xEC}));
  ASSERT_EQ(r.Code.size(), 10u);
  EXPECT_EQ(JumpBackTarget(r, dst), src + 5);

  // The unwinder's raise routine: push ebp; mov ebp,esp; push edi; push esi.
  r = Move({0x55, 0x89, 0xE5, 0x57, 0x56, 0x53}, src, dst, TCpuMode::cmX86);
  ASSERT_TRUE(r.Ok) << r.Reason;
  EXPECT_EQ(r.SourceLength, 5u);

  // The language raise: push ebx; sub esp,18h; call rel32 -> the call moves and keeps its target.
  const uint64_t callee = src + 0x2345;
  Bytes code = Cat({0x53, 0x83, 0xEC, 0x18, 0xE8}, Rel32(callee - (src + 9)));
  r = Move(Cat(code, {0x83, 0x40, 0x04, 0x01}), src, dst, TCpuMode::cmX86);
  ASSERT_TRUE(r.Ok) << r.Reason;
  EXPECT_EQ(r.SourceLength, 9u);
  EXPECT_EQ(r.Code[4], 0xE8);
  EXPECT_EQ(dst + 9 + Rel32At(r.Code, 5), callee);
  EXPECT_EQ(JumpBackTarget(r, dst), src + 9);
}

TEST(RelocatePrologue, SixtyFourBitPrologues) {
  const uint64_t src = 0x7B625AC0, dst = 0x7B5F0000;
  // Wine's hot-patch lea followed by a RIP-relative jump through the import slot.
  Bytes code = {0x48, 0x8D, 0xA4, 0x24, 0, 0, 0, 0, 0xFF, 0x25, 0x76, 0xFA, 0x03, 0x00};
  auto r = Move(code, src, dst, TCpuMode::cmX64);
  ASSERT_TRUE(r.Ok) << r.Reason;
  EXPECT_EQ(r.SourceLength, 8u);
  EXPECT_EQ(JumpBackTarget(r, dst), src + 8);

  // sub rsp,28h; mov rax,[rip+x]: the operand is re-aimed at the same data.
  const uint64_t data = src + 0x40000;
  code = Cat({0x48, 0x83, 0xEC, 0x28, 0x48, 0x8B, 0x05}, Rel32(data - (src + 11)));
  r = Move(code, src, dst, TCpuMode::cmX64);
  ASSERT_TRUE(r.Ok) << r.Reason;
  EXPECT_EQ(r.SourceLength, 11u);
  EXPECT_EQ(dst + 11 + Rel32At(r.Code, 7), data);

  // A trampoline more than 2 GB away: plain instructions still move, the jump back is absolute.
  const uint64_t far = src + 0x180000000ull;
  r = Move({0x48, 0x83, 0xEC, 0x28, 0x66, 0x0F, 0xEF, 0xC0}, src, far, TCpuMode::cmX64);
  ASSERT_TRUE(r.Ok) << r.Reason;
  EXPECT_EQ(r.Code.size(), 8u + 14u);
  EXPECT_EQ(r.Code[8], 0xFF);
  EXPECT_EQ(JumpBackTarget(r, far), src + 8);
  // ... but RIP-relative operands and calls cannot reach from there.
  EXPECT_FALSE(Move(code, src, far, TCpuMode::cmX64).Ok);
  EXPECT_FALSE(Move(Cat({0xE8}, Rel32(0x100)), src, far, TCpuMode::cmX64).Ok);
}

TEST(RelocatePrologue, RoutineThatEndsInAJumpNeedsNoJumpBack) {
  const uint64_t src = 0x401000, dst = 0x500000;
  auto r = Move(Cat({0xE9}, Rel32(0x1000)), src, dst, TCpuMode::cmX86);
  ASSERT_TRUE(r.Ok) << r.Reason;
  ASSERT_EQ(r.Code.size(), 5u);
  EXPECT_EQ(dst + 5 + Rel32At(r.Code, 1), src + 5 + 0x1000);
  // A routine of two instructions ending in ret after the patch length.
  r = Move({0xB8, 1, 0, 0, 0, 0xC3}, src, dst, TCpuMode::cmX86);
  ASSERT_TRUE(r.Ok);
  EXPECT_EQ(r.Code.size(), 5u + 5u);
}

TEST(RelocatePrologue, Refusals) {
  const uint64_t src = 0x401000, dst = 0x500000;
  for (TCpuMode mode : {TCpuMode::cmX86, TCpuMode::cmX64}) {
    EXPECT_EQ(Move({0xEB, 0x03, 0x90, 0x90, 0x90, 0x90}, src, dst, mode).Reason,
              "short branch at offset 0");
    EXPECT_EQ(Move({0x31, 0xC0, 0x74, 0x05, 0x90, 0x90}, src, dst, mode).Reason,
              "short branch at offset 2");
    EXPECT_EQ(Move({0x31, 0xC0, 0xC3, 0xCC, 0xCC}, src, dst, mode).Reason,
              "routine shorter than the patch");
    EXPECT_EQ(Move({0xCC, 0x90, 0x90, 0x90, 0x90}, src, dst, mode).Reason,
              "unmovable instruction at offset 0");
    EXPECT_EQ(Move({0x90, 0x0F, 0x0B, 0x90, 0x90}, src, dst, mode).Reason,
              "unmovable instruction at offset 1");
    // A call to the third byte of the routine would land inside the patch.
    EXPECT_EQ(Move(Cat({0xE8}, Rel32(-3)), src, dst, mode).Reason,
              "branch into the patched bytes at offset 0");
    EXPECT_EQ(Move({0x90, 0x90, 0xD6, 0x90, 0x90}, src, dst, mode).Reason,
              "unknown instruction at offset 2");
    // Fewer readable bytes than whole instructions.
    EXPECT_FALSE(Move({0x55, 0x89, 0xE5}, src, dst, mode).Ok);
  }
}

TEST(EncodeJump, NearFarAndWrapping) {
  EXPECT_EQ(EncodeJump(0x1000, 0x2000, TCpuMode::cmX64), Cat({0xE9}, Rel32(0x2000 - 0x1005)));
  Bytes far = EncodeJump(0x1000, 0x123456789A, TCpuMode::cmX64);
  EXPECT_EQ(far, Bytes({0xFF, 0x25, 0, 0, 0, 0, 0x9A, 0x78, 0x56, 0x34, 0x12, 0, 0, 0}));
  // 32-bit displacements wrap around the 4 GB address space.
  EXPECT_EQ(EncodeJump(0xFFFFFFF0u, 0x10, TCpuMode::cmX86), Cat({0xE9}, Rel32(0x1B)));
}

TEST(ImportJumpStub, BothFillersBothModes) {
  uint64_t slot = 0;
  const uint8_t delphi[] = {0xFF, 0x25, 0x78, 0x56, 0x34, 0x12, 0x8B, 0xC0};
  ASSERT_TRUE(hooking::DecodeImportJumpStub(delphi, 0x401000, TCpuMode::cmX86, slot));
  EXPECT_EQ(slot, 0x12345678u);
  const uint8_t mingw[] = {0xFF, 0x25, 0x10, 0x00, 0x00, 0x00, 0x90, 0x90};
  ASSERT_TRUE(hooking::DecodeImportJumpStub(mingw, 0x140001000ull, TCpuMode::cmX64, slot));
  EXPECT_EQ(slot, 0x140001016ull);
  const uint8_t back[] = {0xFF, 0x25, 0xF0, 0xFF, 0xFF, 0xFF, 0x90, 0x90};
  ASSERT_TRUE(hooking::DecodeImportJumpStub(back, 0x140001000ull, TCpuMode::cmX64, slot));
  EXPECT_EQ(slot, 0x140000FF6ull);
  const uint8_t noFiller[] = {0xFF, 0x25, 0x78, 0x56, 0x34, 0x12, 0x00, 0x00};
  EXPECT_FALSE(hooking::DecodeImportJumpStub(noFiller, 0x401000, TCpuMode::cmX86, slot));
  const uint8_t call[] = {0xFF, 0x15, 0x78, 0x56, 0x34, 0x12, 0x8B, 0xC0};
  EXPECT_FALSE(hooking::DecodeImportJumpStub(call, 0x401000, TCpuMode::cmX86, slot));
}
