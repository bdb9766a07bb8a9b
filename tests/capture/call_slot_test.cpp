// The return-address recogniser: one table per width of the byte patterns that end in a call
// and of near misses.
#include "capture/call_slot.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vl;

namespace vl::capture {
namespace {

using hooking::TCpuMode;

struct Row {
  const char* name;
  std::vector<uint8_t> before;  // the bytes just before V, last one is b[-1]
  TCallForm form;
  unsigned length;
};

TCallSite Recognize(const std::vector<uint8_t>& before, uint64_t v, TCpuMode mode) {
  return RecognizeCall(before.data() + before.size(), before.size(), v, mode);
}

TEST(CallSlot, ThirtyTwoBitCallForms) {
  const std::vector<uint8_t> pad = {0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90};
  auto with = [&](std::vector<uint8_t> tail) {
    std::vector<uint8_t> bytes = pad;
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
  };
  const Row rows[] = {
      {"call rel32", with({0xE8, 0x10, 0x00, 0x00, 0x00}), TCallForm::cfRelative, 5},
      {"call ebx", with({0xFF, 0xD3}), TCallForm::cfIndirect, 2},
      {"call [eax]", with({0xFF, 0x10}), TCallForm::cfIndirect, 2},
      {"call [esi]", with({0xFF, 0x16}), TCallForm::cfIndirect, 2},
      {"call [disp32] cut short", with({0xFF, 0x15}), TCallForm::cfNone, 0},
      {"call [eax+8]", with({0xFF, 0x50, 0x08}), TCallForm::cfIndirect, 3},
      {"call [ecx+disp32]", with({0xFF, 0x91, 0x00, 0x01, 0x00, 0x00}), TCallForm::cfIndirect, 6},
      {"call [esp]", with({0xFF, 0x14, 0x24}), TCallForm::cfIndirect, 3},
      {"call [esp+8]", with({0xFF, 0x54, 0x24, 0x08}), TCallForm::cfIndirect, 4},
      {"call [esp+disp32]", with({0xFF, 0x94, 0x24, 0x00, 0x01, 0x00, 0x00}), TCallForm::cfIndirect,
       7},
      {"call [abs32]", with({0xFF, 0x15, 0x00, 0x20, 0x40, 0x00}), TCallForm::cfAbsolute, 6},
      {"data pointer", with({0x00, 0x00, 0x40, 0x00}), TCallForm::cfNone, 0},
      {"push esp is not [esp+8]", with({0xFE, 0x54, 0x24, 0x08}), TCallForm::cfNone, 0},
  };
  for (const auto& row : rows) {
    TCallSite site = Recognize(row.before, 0x401000, TCpuMode::cmX86);
    EXPECT_EQ(site.Form, row.form) << row.name;
    EXPECT_EQ(site.Length, row.length) << row.name;
  }
  TCallSite rel = Recognize(with({0xE8, 0xF0, 0xFF, 0xFF, 0xFF}), 0x401000, TCpuMode::cmX86);
  EXPECT_EQ(rel.Target, 0x400FF0u);
  TCallSite abs = Recognize(with({0xFF, 0x15, 0x00, 0x20, 0x40, 0x00}), 0x401000, TCpuMode::cmX86);
  EXPECT_EQ(abs.SlotAddress, 0x402000u);
  // Fewer than seven readable bytes before V: nothing is looked at.
  EXPECT_EQ(Recognize({0xFF, 0xD3}, 0x401000, TCpuMode::cmX86).Form, TCallForm::cfNone);
}

TEST(CallSlot, SixtyFourBitCallForms) {
  const std::vector<uint8_t> pad(9, 0xCC);
  auto with = [&](std::vector<uint8_t> tail) {
    std::vector<uint8_t> bytes = pad;
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
  };
  const Row rows[] = {
      {"call rel32", with({0xE8, 0x10, 0x00, 0x00, 0x00}), TCallForm::cfRelative, 5},
      {"call [rip+disp]", with({0xFF, 0x15, 0x00, 0x10, 0x00, 0x00}), TCallForm::cfAbsolute, 6},
      {"call rax", with({0xFF, 0xD0}), TCallForm::cfIndirect, 2},
      {"call r11", with({0x41, 0xFF, 0xD3}), TCallForm::cfIndirect, 3},
      {"call [rax+8]", with({0xFF, 0x50, 0x08}), TCallForm::cfIndirect, 3},
      {"call [r8+disp32]", with({0x41, 0xFF, 0x90, 0x00, 0x01, 0x00, 0x00}), TCallForm::cfIndirect,
       7},
      {"call [rsp+disp32]", with({0xFF, 0x94, 0x24, 0x00, 0x01, 0x00, 0x00}), TCallForm::cfIndirect,
       7},
      {"jmp rax is no call", with({0xFF, 0xE0}), TCallForm::cfNone, 0},
      {"far call is no call", with({0xFF, 0x18}), TCallForm::cfNone, 0},
      {"plain data", with({0x00, 0x00, 0x00, 0x00, 0x00}), TCallForm::cfNone, 0},
  };
  for (const auto& row : rows) {
    TCallSite site = Recognize(row.before, 0x140001000, TCpuMode::cmX64);
    EXPECT_EQ(site.Form, row.form) << row.name;
    EXPECT_EQ(site.Length, row.length) << row.name;
  }
  TCallSite rel = Recognize(with({0xE8, 0xF0, 0xFF, 0xFF, 0xFF}), 0x140001000, TCpuMode::cmX64);
  EXPECT_EQ(rel.Target, 0x140000FF0u);
  TCallSite rip =
      Recognize(with({0xFF, 0x15, 0x00, 0x10, 0x00, 0x00}), 0x140001000, TCpuMode::cmX64);
  EXPECT_EQ(rip.SlotAddress, 0x140002000u);
}

}  // namespace
}  // namespace vl::capture
