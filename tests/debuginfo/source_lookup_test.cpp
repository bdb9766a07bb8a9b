// Address lookups over debug information made by the writer: the name rules, the ranges of the
// records, the skipping of other units, the name index, and damaged bytes.
#include "debuginfo/source_lookup.h"

#include <gtest/gtest.h>

#include "debuginfo/debug_table.h"
#include "debuginfo/name_index.h"

using namespace vl;

namespace vl {
namespace {

TLineRecord Rec(int32_t d, uint32_t a) { return {{d, a, false}, ""}; }
TLineRecord Named(int32_t d, uint32_t a, std::string name) { return {{d, a, true}, name}; }

struct Found {
  bool ok;
  TSourceLocation at;
};

Found Lookup(const std::vector<uint8_t>& bytes, int64_t offset, uint16_t version = 454) {
  Found f;
  f.ok = FindSourceLocation(bytes.data(), bytes.size(), version, offset, f.at);
  return f;
}

// Unit "Main" at offsets 100..199, first line 10.
TDebugTable MainUnit(std::vector<TLineRecord> records) {
  TDebugTable table;
  table.Units.push_back({"Main", 10, 100, 100, std::move(records)});
  return table;
}

TEST(SourceLookup, NamesKeepOrSplitTheirClass) {
  auto bytes = WriteDebugTable(
      MainUnit({Named(1, 4, "TForm1.Open"), Named(2, 4, ".Close"), Named(1, 4, "Helper"),
                Named(1, 4, ".@Destroy"), Named(1, 4, "@Init")}),
      454);
  // A named record's own range still belongs to the procedure before it (none before the
  // first, so the first takes its own name); the class changes at once.
  Found f = Lookup(bytes, 100);
  ASSERT_TRUE(f.ok);
  EXPECT_EQ(f.at.UnitName, "Main.pas");
  EXPECT_EQ(f.at.ClassName, "TForm1");
  EXPECT_EQ(f.at.ProcedureName, "Open");
  EXPECT_EQ(f.at.LineNumber, 10);
  f = Lookup(bytes, 104);
  EXPECT_EQ(f.at.ClassName, "TForm1");
  EXPECT_EQ(f.at.ProcedureName, "Open");
  EXPECT_EQ(f.at.LineNumber, 11);
  f = Lookup(bytes, 108);
  EXPECT_EQ(f.at.ClassName, "");
  EXPECT_EQ(f.at.ProcedureName, "Close");
  // ".@Destroy" takes the last non-empty class, which survived the class-less "Helper".
  f = Lookup(bytes, 112);
  EXPECT_EQ(f.at.ClassName, "TForm1");
  EXPECT_EQ(f.at.ProcedureName, "Helper");
  f = Lookup(bytes, 116);
  EXPECT_EQ(f.at.ClassName, "");
  EXPECT_EQ(f.at.ProcedureName, "_Destroy");
  // After the last record the rest of the unit belongs to the advanced line and the last name.
  f = Lookup(bytes, 120);
  EXPECT_EQ(f.at.ProcedureName, "_Init");
  EXPECT_EQ(f.at.LineNumber, 16);
  f = Lookup(bytes, 199);
  ASSERT_TRUE(f.ok);
  EXPECT_EQ(f.at.LineNumber, 16);
  EXPECT_FALSE(Lookup(bytes, 200).ok);
  EXPECT_FALSE(Lookup(bytes, 99).ok);
}

TEST(SourceLookup, NegativeAndZeroStepsMoveTheLine) {
  auto bytes = WriteDebugTable(
      MainUnit({Named(5, 2, "Run"), Rec(-3, 2), Rec(0, 2), Rec(40000, 70000), Rec(1, 1)}), 454);
  EXPECT_EQ(Lookup(bytes, 102).at.LineNumber, 15);
  EXPECT_EQ(Lookup(bytes, 104).at.LineNumber, 12);
  EXPECT_EQ(Lookup(bytes, 106).at.LineNumber, 12);
  EXPECT_EQ(Lookup(bytes, 199).at.LineNumber, 12);
}

TEST(SourceLookup, UnitNamesWithAnExtensionStayAsTheyAre) {
  TDebugTable table;
  table.Units.push_back({"Forms.dpr", 1, 0, 10, {}});
  auto bytes = WriteDebugTable(table, 400);
  Found f = Lookup(bytes, 5, 400);
  ASSERT_TRUE(f.ok);
  EXPECT_EQ(f.at.UnitName, "Forms.dpr");
  EXPECT_EQ(f.at.ProcedureName, "");
  EXPECT_EQ(f.at.LineNumber, 1);
}

// Units that do not hold the offset are skipped by their length: damaged records there are
// never read.
TEST(SourceLookup, OtherUnitsAreSkippedUndecoded) {
  TDebugTable table;
  table.Units.push_back({"A", 1, 0, 50, {Rec(1, 10)}});
  table.Units.push_back({"B", 1, 50, 50, {Rec(1, 10)}});
  auto bytes = WriteDebugTable(table, 454);
  // Unit A's only record sits after: index size (4), unit count (4), name (2), 4 int32s (16).
  const size_t recordA = 4 + 4 + 2 + 16;
  ASSERT_EQ(bytes[recordA], 0x12);
  bytes[recordA] = 0x0B;  // a four-byte record in a one-byte block
  EXPECT_TRUE(Lookup(bytes, 60).ok);
  EXPECT_EQ(Lookup(bytes, 60).at.UnitName, "B.pas");
  EXPECT_FALSE(Lookup(bytes, 5).ok);
}

TEST(SourceLookup, DamagedOrCutOffBytesFindNothing) {
  TDebugTable table = MainUnit({Named(1, 4, "TForm1.Open"), Rec(1, 4)});
  table.Index.push_back({"Main.TForm1.Open", 100, 0});
  auto bytes = WriteDebugTable(table, 454);
  ASSERT_TRUE(Lookup(bytes, 150).ok);
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    std::vector<uint8_t> part(bytes.begin(), bytes.begin() + cut);
    EXPECT_FALSE(Lookup(part, 150).ok) << cut;
  }
  // Huge or negative sizes: the index size at 0, the block length after the index (25 bytes),
  // the unit count, the unit's name and three int32s.
  for (size_t at : {size_t{0}, size_t{4 + 25 + 4 + 5 + 12}}) {
    for (uint8_t top : {0x7F, 0x80}) {
      auto bad = bytes;
      bad[at + 3] = top;
      EXPECT_FALSE(Lookup(bad, 150).ok) << at;
    }
  }
}

TEST(NameIndex, FindsFullNamesExactly) {
  TDebugTable table;
  table.Index = {{"Forms.TApplication.HandleException", 0x1234, 7}, {"Main.Run", -8, 0}};
  auto bytes = WriteDebugTable(table, 454);
  int32_t offset = 0;
  EXPECT_TRUE(FindNameIndexOffset(bytes.data(), bytes.size(), 454, "Main.Run", offset));
  EXPECT_EQ(offset, -8);
  EXPECT_TRUE(FindNameIndexOffset(bytes.data(), bytes.size(), 454,
                                  "Forms.TApplication.HandleException", offset));
  EXPECT_EQ(offset, 0x1234);
  EXPECT_FALSE(FindNameIndexOffset(bytes.data(), bytes.size(), 454, "main.run", offset));
  EXPECT_FALSE(FindNameIndexOffset(bytes.data(), bytes.size(), 454, "Main", offset));
  EXPECT_FALSE(FindNameIndexOffset(bytes.data(), bytes.size(), 404, "Main.Run", offset));
  // An entry cut by the index size is not read beyond it.
  auto cut = bytes;
  cut[0] = static_cast<uint8_t>(cut[0] - 1);
  EXPECT_FALSE(FindNameIndexOffset(cut.data(), cut.size(), 454, "Main.Run", offset));
  EXPECT_TRUE(FindNameIndexOffset(cut.data(), cut.size(), 454, "Forms.TApplication.HandleException",
                                  offset));
}

TEST(NameIndex, NamesAreStoredMasked) {
  TDebugTable table;
  table.Index = {{"Main.Run", 1, 0}};
  auto bytes = WriteDebugTable(table, 454);
  std::string stored(bytes.begin() + 5, bytes.begin() + 13);
  EXPECT_EQ(bytes[4], 8);
  EXPECT_NE(stored, "Main.Run");
  for (size_t i = 0; i < stored.size(); ++i)
    EXPECT_EQ(static_cast<uint8_t>(stored[i]) ^ kStringMask, static_cast<uint8_t>("Main.Run"[i]));
}

}  // namespace
}  // namespace vl

namespace vl {
namespace {

// A class that carries its namespace keeps it: the name splits at its last dot.
TEST(SourceLookup, DottedClassSplitsAtTheLastDot) {
  auto bytes = WriteDebugTable(
      MainUnit({Named(1, 4, "Forms.TApplication.HandleException"), Named(1, 4, ".Run"), Rec(1, 4)}),
      454);
  Found f = Lookup(bytes, 100);
  EXPECT_EQ(f.at.ClassName, "Forms.TApplication");
  EXPECT_EQ(f.at.ProcedureName, "HandleException");
  f = Lookup(bytes, 108);  // ".Run" keeps the dotted class
  EXPECT_EQ(f.at.ClassName, "Forms.TApplication");
  EXPECT_EQ(f.at.ProcedureName, "Run");
}

}  // namespace
}  // namespace vl
