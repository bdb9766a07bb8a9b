// Property checks over random tables (fixed seeds): the reader gives back what the writer was
// given, and lookups in the bytes agree with a walk over the table itself.
#include <gtest/gtest.h>

#include <random>

#include "debuginfo/debug_table.h"
#include "debuginfo/name_index.h"
#include "debuginfo/name_rules.h"
#include "debuginfo/source_lookup.h"

using namespace vl;

namespace vl {
namespace {

class TableMaker {
 public:
  explicit TableMaker(uint32_t seed) : rng_(seed) {}

  int64_t Pick(int64_t lo, int64_t hi) {
    return std::uniform_int_distribution<int64_t>(lo, hi)(rng_);
  }

  std::string Name() {
    static const char* const kPieces[] = {"TForm1", "Open", ".",    ".",    "@",    "Close",
                                          "x",      "\xA7", "\x00", "\xFF", "Main", "TList"};
    std::string name;
    for (int64_t n = Pick(0, 6); n > 0; --n) name += kPieces[Pick(0, 11)];
    if (Pick(0, 20) == 0) name.assign(static_cast<size_t>(Pick(200, 255)), 'N');
    return name;
  }

  // Steps from every form's range, and some that only the escape holds.
  TLineStep Step(uint16_t version) {
    TLineStep s;
    s.HasName = Pick(0, 3) == 0;
    switch (Pick(0, 4)) {
      case 0:
        s.LineStep = int32_t(Pick(1, 4));
        s.AddrStep = uint32_t(Pick(1, 32));
        break;
      case 1:
        s.LineStep = int32_t(Pick(1, 8));
        s.AddrStep = uint32_t(Pick(1, 8));
        break;
      case 2:
        s.LineStep = int32_t(Pick(1, 32));
        s.AddrStep = uint32_t(Pick(1, 128));
        break;
      case 3:
        s.LineStep = int32_t(Pick(-32768, 32767));
        s.AddrStep = uint32_t(Pick(0, 4095));
        break;
      default:
        s.LineStep = int32_t(Pick(-32768, 32767));
        s.AddrStep = uint32_t(Pick(1, version >= 423 ? 65536 : 4095));
    }
    return s;
  }

  TDebugTable Table(uint16_t version) {
    TDebugTable t;
    for (int64_t n = Pick(0, 5); n > 0; --n)
      t.Index.push_back({Name(), int32_t(Pick(INT32_MIN, INT32_MAX)), int32_t(Pick(-5, 5))});
    int32_t start = int32_t(Pick(0, 1000));
    for (int64_t n = Pick(0, 6); n > 0; --n) {
      TDebugUnit u;
      u.Name = Name();
      u.FirstLine = int32_t(Pick(-10, 100000));
      u.StartOffset = start;
      int64_t covered = 0;
      for (int64_t r = Pick(0, 40); r > 0; --r) {
        TLineRecord rec;
        rec.Step = Step(version);
        if (rec.Step.HasName) rec.Name = Name();
        covered += rec.Step.AddrStep;
        u.Records.push_back(rec);
      }
      u.CodeSize = int32_t(covered + Pick(0, 50));
      start += u.CodeSize + int32_t(Pick(0, 20));
      t.Units.push_back(u);
    }
    return t;
  }

 private:
  std::mt19937 rng_;
};

// The lookup walked over the table rather than the bytes.
bool ModelLookup(const TDebugTable& table, int64_t offset, TSourceLocation& at) {
  for (const TDebugUnit& u : table.Units) {
    if (offset < u.StartOffset || offset >= int64_t{u.StartOffset} + u.CodeSize) continue;
    int64_t addr = u.StartOffset;
    uint32_t line = static_cast<uint32_t>(u.FirstLine);
    TNameState names;
    std::string proc;
    at.UnitName = u.Name.find('.') == std::string::npos ? u.Name + ".pas" : u.Name;
    for (const TLineRecord& r : u.Records) {
      if (r.Step.HasName) {
        ApplyRecordName(r.Name, names);
        if (proc.empty()) proc = names.ProcedureName;
      }
      if (offset >= addr && offset < addr + r.Step.AddrStep) {
        at.ClassName = names.ClassName;
        at.ProcedureName = proc;
        at.LineNumber = static_cast<int32_t>(line);
        return true;
      }
      proc = names.ProcedureName;
      line += static_cast<uint32_t>(r.Step.LineStep);
      addr += r.Step.AddrStep;
    }
    at.ClassName = names.ClassName;
    at.ProcedureName = proc;
    at.LineNumber = static_cast<int32_t>(line);
    return true;
  }
  return false;
}

TEST(DebugTableRoundTrip, ReaderGivesBackWhatTheWriterGot) {
  for (uint16_t version : {uint16_t{400}, uint16_t{410}, uint16_t{454}}) {
    TableMaker make(version);
    for (int i = 0; i < 300; ++i) {
      TDebugTable table = make.Table(version);
      std::vector<uint8_t> bytes = WriteDebugTable(table, version);
      TDebugTable back;
      ASSERT_TRUE(ReadDebugTable(bytes.data(), bytes.size(), version, back)) << i;
      if (version < 405) table.Index.clear();
      ASSERT_TRUE(back == table) << "version " << version << " table " << i;
      for (const TNameIndexEntry& e : table.Index) {
        int32_t offset;
        ASSERT_TRUE(FindNameIndexOffset(bytes.data(), bytes.size(), version, e.FullName, offset));
        // The first entry of that name wins.
        for (const TNameIndexEntry& f : table.Index) {
          if (f.FullName == e.FullName) {
            EXPECT_EQ(offset, f.Offset);
            break;
          }
        }
      }
    }
  }
}

TEST(DebugTableRoundTrip, LookupsAgreeWithTheTable) {
  for (uint16_t version : {uint16_t{400}, uint16_t{454}}) {
    TableMaker make(1000u + version);
    for (int i = 0; i < 200; ++i) {
      TDebugTable table = make.Table(version);
      std::vector<uint8_t> bytes = WriteDebugTable(table, version);
      int64_t end = table.Units.empty()
                        ? 100
                        : table.Units.back().StartOffset + table.Units.back().CodeSize + 5;
      for (int probe = 0; probe < 40; ++probe) {
        int64_t offset = make.Pick(-2, end);
        TSourceLocation expected, got;
        bool want = ModelLookup(table, offset, expected);
        ASSERT_EQ(FindSourceLocation(bytes.data(), bytes.size(), version, offset, got), want)
            << i << " at " << offset;
        if (!want) continue;
        EXPECT_EQ(got.UnitName, expected.UnitName);
        EXPECT_EQ(got.ClassName, expected.ClassName);
        EXPECT_EQ(got.ProcedureName, expected.ProcedureName);
        EXPECT_EQ(got.LineNumber, expected.LineNumber) << i << " at " << offset;
      }
    }
  }
}

// Steps that no record holds are written as several records; lookups see no difference.
TEST(DebugTableRoundTrip, OversizedStepsLookTheSame) {
  TDebugTable table;
  table.Units.push_back({"Big",
                         1,
                         0,
                         300000,
                         {{{1, 5, true}, "TA.First"},
                          {{1, 5, true}, ".Second"},
                          {{100000, 100000, false}, ""},
                          {{-70000, 5000, false}, ""},
                          {{3, 3, true}, "Third"}}});
  for (uint16_t version : {uint16_t{400}, uint16_t{454}}) {
    std::vector<uint8_t> bytes = WriteDebugTable(table, version);
    for (int64_t offset : {0, 4, 5, 9, 10, 65540, 100009, 100010, 105009, 105010, 105013, 299999}) {
      TSourceLocation expected, got;
      ASSERT_TRUE(ModelLookup(table, offset, expected));
      ASSERT_TRUE(FindSourceLocation(bytes.data(), bytes.size(), version, offset, got)) << offset;
      EXPECT_EQ(got.LineNumber, expected.LineNumber) << offset;
      EXPECT_EQ(got.ProcedureName, expected.ProcedureName) << offset;
      EXPECT_EQ(got.ClassName, expected.ClassName) << offset;
    }
  }
}

TEST(DebugTableRoundTrip, WriterRefusesNamesOverLengthByte) {
  TDebugTable table;
  table.Index.push_back({std::string(256, 'x'), 0, 0});
  EXPECT_THROW(WriteDebugTable(table, 454), Exception);
}

}  // namespace
}  // namespace vl
