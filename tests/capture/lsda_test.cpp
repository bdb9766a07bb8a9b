// The C++ handler-table interpreter on tables compiled by the MinGW compilers of both widths
// (bytes copied from their objects; the type entries, relocated only at link time, are set by
// each test), and on damaged tables.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "capture/cie_personality.h"
#include "capture/lsda_interpreter.h"

using namespace vl;

namespace vl::capture {
namespace {

using V = TLsdaVerdict;

// A model of the process: pointer slots (the DW.ref words the type entries point to) and the set
// of type_info addresses that accept the thrown object.
class FakeProcess : public TLsdaContext {
 public:
  std::map<uint64_t, uint64_t> Slots;
  std::set<uint64_t> Accepting;
  bool ReadPointer(uint64_t address, uint64_t& value) override {
    auto it = Slots.find(address);
    if (it == Slots.end()) return false;
    value = it->second;
    return true;
  }
  bool Catches(uint64_t typeInfo) override { return Accepting.count(typeInfo) != 0; }
};

constexpr uint64_t TableAt = 0x00402000;
constexpr uint64_t FunctionAt = 0x00401000;

// Points the pc-relative type entry at Offset (within Table) to a slot holding TypeInfo.
void SetTypeEntry(std::vector<uint8_t>& table, size_t offset, FakeProcess& process,
                  uint64_t typeInfo) {
  const uint64_t slot = 0x00500000 + offset * 16;
  const uint32_t rel = static_cast<uint32_t>(slot - (TableAt + offset));
  std::memcpy(&table[offset], &rel, 4);
  process.Slots[slot] = typeInfo;
}

V Interpret(const std::vector<uint8_t>& table, uint64_t returnOffset, FakeProcess& process,
            unsigned pointerSize) {
  TLsdaFrame frame;
  frame.Table = table.data();
  frame.Size = table.size();
  frame.TableAddress = TableAt;
  frame.RegionStart = FunctionAt;
  frame.Ip = FunctionAt + returnOffset - 1;
  frame.PointerSize = pointerSize;
  return InterpretLsda(frame, process);
}

// try { g(x); } catch (const B&) {} catch (const C&) {} catch (...) {}, then an unlisted-free
// tail without landing pad. 32-bit: call at +0x0B (returns to +0x10); 64-bit: call at +0x04.
const std::vector<uint8_t> Multi32 = {
    0xff, 0x9b, 0x1d, 0x01, 0x08, 0x0b, 0x05, 0x1c, 0x05, 0x3f, 0x14, 0x00, 0x00, 0x03, 0x00, 0x02,
    0x7d, 0x01, 0x7d, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0c, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00};
const std::vector<uint8_t> Multi64 = {
    0xff, 0x9b, 0x1d, 0x01, 0x08, 0x04, 0x05, 0x13, 0x05, 0x38, 0x16, 0x00, 0x00, 0x03, 0x00, 0x02,
    0x7d, 0x01, 0x7d, 0x00, 0x00, 0x00, 0x00, 0x00, 0x14, 0x00, 0x00, 0x00, 0x0c, 0x00, 0x00, 0x00};
// try { try { g(x); } catch (int) {} } catch (const A&) {}; call at +0x0A (32) / +0x04 (64).
const std::vector<uint8_t> Nested32 = {0xff, 0x9b, 0x19, 0x01, 0x08, 0x0a, 0x05, 0x18, 0x03, 0x2a,
                                       0x28, 0x00, 0x00, 0x01, 0x00, 0x02, 0x7d, 0x00, 0x00, 0x00,
                                       0x10, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00};
const std::vector<uint8_t> Nested64 = {0xff, 0x9b, 0x19, 0x01, 0x08, 0x04, 0x05, 0x13, 0x03, 0x27,
                                       0x23, 0x00, 0x00, 0x01, 0x00, 0x02, 0x7d, 0x00, 0x00, 0x00,
                                       0x1c, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00};
// { R r; g(x); } (64-bit): the call is covered by a cleanup, the resume call by nothing.
const std::vector<uint8_t> Cleanup64 = {0xff, 0xff, 0x01, 0x08, 0x05, 0x05,
                                        0x1b, 0x00, 0x2b, 0x06, 0x00, 0x00};
// A noexcept function: an empty call-site table (both widths emit the same bytes).
const std::vector<uint8_t> NoExcept = {0xff, 0xff, 0x01, 0x00};
// C++03 throw lists (compiled with -std=c++14, ill-formed in C++17): f(x) throw(A, B) { g(x); },
// e(x) throw() { g(x); }, h(x) throw(A) { R r; try { g(x); } catch (const B&) {} }.
// f's and e's call returns to +0x0F (32) / +0x09 (64), h's to +0x11 / +0x0B.
const std::vector<uint8_t> ThrowAB32 = {0xff, 0x9b, 0x15, 0x01, 0x08, 0x0a, 0x05, 0x13, 0x01, 0x1b,
                                        0x0a, 0x00, 0x00, 0x7f, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                        0x00, 0x00, 0x00, 0x00, 0x01, 0x02, 0x00, 0x00};
const std::vector<uint8_t> ThrowAB64 = {0xff, 0x9b, 0x15, 0x01, 0x08, 0x04, 0x05, 0x0f, 0x01, 0x18,
                                        0x0b, 0x00, 0x00, 0x7f, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                        0x00, 0x00, 0x00, 0x00, 0x01, 0x02, 0x00, 0x00};
const std::vector<uint8_t> ThrowNone32 = {0xff, 0x9b, 0x0d, 0x01, 0x08, 0x0a, 0x05,
                                          0x13, 0x01, 0x1b, 0x0a, 0x00, 0x00, 0x7f,
                                          0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
const std::vector<uint8_t> ThrowNone64 = {0xff, 0x9b, 0x0d, 0x01, 0x08, 0x04, 0x05,
                                          0x0f, 0x01, 0x18, 0x0b, 0x00, 0x00, 0x7f,
                                          0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
const std::vector<uint8_t> ThrowA32 = {0xff, 0x9b, 0x1d, 0x01, 0x0c, 0x0c, 0x05, 0x20, 0x05,
                                       0x31, 0x05, 0x38, 0x03, 0x4d, 0x0a, 0x00, 0x00, 0x7f,
                                       0x00, 0x00, 0x7d, 0x02, 0x7d, 0x00, 0x00, 0x00, 0x00,
                                       0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00};
const std::vector<uint8_t> ThrowA64 = {0xff, 0x9b, 0x21, 0x01, 0x10, 0x06, 0x05, 0x1d, 0x05, 0x3f,
                                       0x05, 0x00, 0x00, 0x49, 0x05, 0x55, 0x03, 0x50, 0x05, 0x00,
                                       0x00, 0x7f, 0x00, 0x00, 0x7d, 0x02, 0x7d, 0x00, 0x00, 0x00,
                                       0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00};

constexpr uint64_t TypeB = 0x7000, TypeC = 0x7100, TypeInt = 0x7200, TypeA = 0x7300;

struct MultiCase {
  const char* name;
  const std::vector<uint8_t>* table;
  unsigned pointerSize;
  uint64_t callReturn;  // return address offset of the call inside the try block
  uint64_t unlisted;    // an offset that no call-site entry covers
  uint64_t noPad;       // an offset covered by the entry without landing pad
};

TEST(LsdaInterpreter, TypedCatchAllAndTableEdgesOfCompiledTables) {
  const MultiCase cases[] = {
      {"i686", &Multi32, 4, 0x10, 0x05, 0x45},
      {"x86_64", &Multi64, 8, 0x09, 0x02, 0x40},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> table = *c.table;
    FakeProcess process;
    SetTypeEntry(table, 0x1c, process, TypeB);  // filter 1
    SetTypeEntry(table, 0x18, process, TypeC);  // filter 2 (filter 3 stays 0: catch (...))
    process.Accepting = {TypeB};
    EXPECT_EQ(Interpret(table, c.callReturn, process, c.pointerSize), V::lvCatchTyped);
    process.Accepting = {TypeC};
    EXPECT_EQ(Interpret(table, c.callReturn, process, c.pointerSize), V::lvCatchTyped);
    process.Accepting = {};
    EXPECT_EQ(Interpret(table, c.callReturn, process, c.pointerSize), V::lvCatchAll);
    EXPECT_EQ(Interpret(table, c.unlisted, process, c.pointerSize), V::lvTerminate);
    EXPECT_EQ(Interpret(table, 0x1000, process, c.pointerSize), V::lvTerminate);
    EXPECT_EQ(Interpret(table, c.noPad, process, c.pointerSize), V::lvNothing);
    // The return address is looked up minus one: the byte after the call's range still belongs
    // to it, the start of the range itself does not hold a return address of it.
    EXPECT_EQ(Interpret(table, c.callReturn - 5, process, c.pointerSize), V::lvTerminate);
    // A type entry whose slot cannot be read: the table is unusable.
    process.Slots.erase(0x00500000 + 0x1c * 16);
    EXPECT_EQ(Interpret(table, c.callReturn, process, c.pointerSize), V::lvMalformed);
  }
}

TEST(LsdaInterpreter, NestedHandlersTryTheInnerTypeFirst) {
  const struct {
    const char* name;
    const std::vector<uint8_t>* table;
    unsigned pointerSize;
    uint64_t callReturn;
  } cases[] = {{"i686", &Nested32, 4, 0x0f}, {"x86_64", &Nested64, 8, 0x09}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> table = *c.table;
    FakeProcess process;
    SetTypeEntry(table, 0x18, process, TypeA);    // filter 1: the outer catch
    SetTypeEntry(table, 0x14, process, TypeInt);  // filter 2: the inner catch
    process.Accepting = {TypeInt};
    EXPECT_EQ(Interpret(table, c.callReturn, process, c.pointerSize), V::lvCatchTyped);
    process.Accepting = {TypeA};
    EXPECT_EQ(Interpret(table, c.callReturn, process, c.pointerSize), V::lvCatchTyped);
    process.Accepting = {};
    EXPECT_EQ(Interpret(table, c.callReturn, process, c.pointerSize), V::lvCleanup);
  }
}

TEST(LsdaInterpreter, CleanupsNothingAndNoexcept) {
  FakeProcess process;
  EXPECT_EQ(Interpret(Cleanup64, 0x0a, process, 8), V::lvCleanup);
  EXPECT_EQ(Interpret(Cleanup64, 0x31, process, 8), V::lvNothing);
  EXPECT_EQ(Interpret(Cleanup64, 0x40, process, 8), V::lvTerminate);
  EXPECT_EQ(Interpret(NoExcept, 0x0a, process, 4), V::lvTerminate);
  EXPECT_EQ(Interpret(NoExcept, 0x0a, process, 8), V::lvTerminate);
}

TEST(LsdaInterpreter, ThrowListsPassTheirTypesAndTerminateTheRest) {
  const struct {
    const char* name;
    unsigned pointerSize;
    const std::vector<uint8_t>*ab, *none, *a;
    uint64_t fReturn, hReturn;
    size_t hTypes;  // h's type entry 1 (A, the list's); entry 2 (B, the catch) is before it
  } cases[] = {{"i686", 4, &ThrowAB32, &ThrowNone32, &ThrowA32, 0x0f, 0x11, 0x1c},
               {"x86_64", 8, &ThrowAB64, &ThrowNone64, &ThrowA64, 0x09, 0x0b, 0x20}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeProcess process;
    std::vector<uint8_t> ab = *c.ab, a = *c.a;
    SetTypeEntry(ab, 0x14, process, TypeA);
    SetTypeEntry(ab, 0x10, process, TypeB);
    SetTypeEntry(a, c.hTypes, process, TypeA);
    SetTypeEntry(a, c.hTypes - 4, process, TypeB);
    for (uint64_t raised : {TypeA, TypeB, TypeC}) {
      process.Accepting = {raised};
      EXPECT_EQ(Interpret(ab, c.fReturn, process, c.pointerSize),
                raised == TypeC ? V::lvTerminate : V::lvCleanup);
      EXPECT_EQ(Interpret(*c.none, c.fReturn, process, c.pointerSize), V::lvTerminate);
      // The catch is tried first, then the destructor, then the list.
      EXPECT_EQ(Interpret(a, c.hReturn, process, c.pointerSize), raised == TypeB ? V::lvCatchTyped
                                                                 : raised == TypeA
                                                                     ? V::lvCleanup
                                                                     : V::lvTerminate);
    }
    // Every truncation stays inside the bytes (ASan checks) and never lets the raise pass.
    for (size_t n = 0; n < a.size(); ++n) {
      const std::vector<uint8_t> cut(a.begin(), a.begin() + n);
      const V v = Interpret(cut, c.hReturn, process, c.pointerSize);
      EXPECT_TRUE(v == V::lvMalformed || v == V::lvTerminate) << n;
    }
  }
}

TEST(LsdaInterpreter, DamagedTablesEndAsMalformedNeverOutOfBounds) {
  FakeProcess process;
  std::vector<uint8_t> table = Multi32;
  SetTypeEntry(table, 0x1c, process, TypeB);
  SetTypeEntry(table, 0x18, process, TypeC);
  // Every truncation: the reader stays inside the bytes it was given (ASan checks).
  for (size_t n = 0; n < table.size(); ++n) {
    std::vector<uint8_t> cut(table.begin(), table.begin() + n);
    V v = Interpret(cut, 0x10, process, 4);
    EXPECT_TRUE(v == V::lvMalformed || v == V::lvTerminate) << n;
  }
  struct {
    const char* name;
    std::vector<uint8_t> bytes;
    V expected;
  } rows[] = {
      // call-site table longer than the table
      {"call sites overrun", {0xff, 0xff, 0x01, 0x40, 0x00, 0x05, 0x01, 0x00}, V::lvMalformed},
      // an action record that points to itself (displacement -1 back onto its filter byte)
      {"action loop", {0xff, 0xff, 0x01, 0x04, 0x00, 0x10, 0x01, 0x01, 0x00, 0x7f}, V::lvMalformed},
      // a handler filter without a type table
      {"filter, no types",
       {0xff, 0xff, 0x01, 0x04, 0x00, 0x10, 0x01, 0x01, 0x01, 0x00},
       V::lvMalformed},
      // a filter reaching before the table's start
      {"filter too far",
       {0xff, 0x9b, 0x06, 0x01, 0x04, 0x00, 0x10, 0x01, 0x01, 0x09, 0x00},
       V::lvMalformed},
      // action offset beyond the table
      {"action beyond", {0xff, 0xff, 0x01, 0x04, 0x00, 0x10, 0x01, 0x60}, V::lvMalformed},
      // aligned encoding (unknown on x86)
      {"aligned encoding", {0xff, 0xff, 0x51, 0x04, 0x00, 0x10, 0x01, 0x00}, V::lvMalformed},
      // an endless LEB128
      {"endless leb",
       {0xff, 0x9b, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff},
       V::lvMalformed},
      // a throw list without a type table; with one type entry (absolute, not the raise's):
      // a list naming it, one that runs off the end, one naming entry 9
      {"list, no types",
       {0xff, 0xff, 0x01, 0x04, 0x00, 0x10, 0x01, 0x01, 0x7f, 0x00},
       V::lvMalformed},
      {"list violated",
       {0xff, 0x00, 0x0c, 0x01, 0x04, 0x00, 0x10, 0x01, 0x01, 0x7f, 0x00, 0x00, 0x73, 0x00, 0x00,
        0x01, 0x00},
       V::lvTerminate},
      {"list unended",
       {0xff, 0x00, 0x0c, 0x01, 0x04, 0x00, 0x10, 0x01, 0x01, 0x7f, 0x00, 0x00, 0x73, 0x00, 0x00,
        0x01},
       V::lvMalformed},
      {"list entry too far",
       {0xff, 0x00, 0x0c, 0x01, 0x04, 0x00, 0x10, 0x01, 0x01, 0x7f, 0x00, 0x00, 0x73, 0x00, 0x00,
        0x09, 0x00},
       V::lvMalformed},
      // a displacement of nearly 2^63 (the fuzzer's signed-overflow input)
      {"huge displacement",
       {0xff, 0xff, 0x01, 0x04, 0x00, 0x10, 0x01, 0x01, 0x00, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
        0xff, 0xff, 0xff, 0x00},
       V::lvMalformed},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Interpret(row.bytes, 0x05, process, 4), row.expected) << row.name;
  }
}

TEST(CiePersonality, ReadsThePersonalityOfACompiledCie) {
  // The 32-bit compiler's CIE ("zPLR", personality pc-relative indirect through a DW.ref word)
  // and one FDE pointing back to it.
  std::vector<uint8_t> frame = {0x1c, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x7a,
                                0x50, 0x4c, 0x52, 0x00, 0x01, 0x7c, 0x08, 0x07, 0x9b, 0x0c,
                                0x00, 0x00, 0x00, 0x1b, 0x1b, 0x0c, 0x04, 0x04, 0x88, 0x01,
                                0x00, 0x00, 0x24, 0x00, 0x00, 0x00, 0x24, 0x00, 0x00, 0x00};
  const uint64_t at = 0x00403000;
  FakeProcess process;
  const uint32_t rel = 0x00600000 - static_cast<uint32_t>(at + 0x13);
  std::memcpy(&frame[0x13], &rel, 4);
  process.Slots[0x00600000] = 0x00401234;
  uint64_t cie = 0;
  ASSERT_TRUE(CieOfFde(frame.data() + 0x20, 8, at + 0x20, cie));
  EXPECT_EQ(cie, at);
  uint64_t personality = 1;
  ASSERT_TRUE(CiePersonality(frame.data(), frame.size(), at, 4, process, personality));
  EXPECT_EQ(personality, 0x00401234u);
  // Truncated anywhere: refused, never read beyond.
  for (size_t n = 0; n < 0x20; ++n) {
    std::vector<uint8_t> cut(frame.begin(), frame.begin() + n);
    EXPECT_FALSE(CiePersonality(cut.data(), cut.size(), at, 4, process, personality)) << n;
  }
  // A CIE without augmentation names no personality.
  std::vector<uint8_t> plain = {0x0c, 0,    0,    0,    0,    0,    0,    0,
                                0x01, 0x00, 0x01, 0x7c, 0x08, 0x0c, 0x04, 0x04};
  ASSERT_TRUE(CiePersonality(plain.data(), plain.size(), at, 4, process, personality));
  EXPECT_EQ(personality, 0u);
}

}  // namespace
}  // namespace vl::capture
