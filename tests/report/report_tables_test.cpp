// The call-stack and modules tables and the detailed dialog's call-stack rows.
#include "report/report_tables.h"

#include <gtest/gtest.h>

#include "core/module_texts.h"

using namespace vl;

namespace {

using report::TModuleFacts;
using report::TStackEntryFacts;

TStackEntryFacts Entry(uint8_t kind, uint64_t address, const char* module, uint8_t type,
                       const char* unit, const char* cls, const char* proc, int32_t line) {
  TStackEntryFacts e;
  e.Kind = kind;
  e.Address = address;
  e.ModulePath = module;
  e.ModuleType = type;
  e.UnitName = unit;
  e.ClassName = cls;
  e.ProcedureName = proc;
  e.LineNumber = line;
  return e;
}

TEST(CallStackTable, ShowsKindsTwoToFourAndWidensColumnsForLongCells) {
  TVantorModuleOptions options("x.exe", false);
  const std::vector<TStackEntryFacts> entries = {
      Entry(4, 0x0040120A, "C:\\App\\demo.exe", 1, "Main", "TForm1", "Button1Click", 42),
      Entry(0, 0x12345678, "", 0, "", "", "", 0),
      Entry(1, 0x7C801000, "C:\\W\\kernel32.dll", 3, "", "", "", 0),
      Entry(2, 0x7C802000, "C:\\W\\kernel32.dll", 3, "", "", "RaiseException", 0),
      Entry(3, 0x00402000, "C:\\App\\demo.exe", 1, "Unit\r\n", "TAb", "ARatherLongProcedureName",
            0),
  };
  EXPECT_EQ(report::FormatCallStackTable(entries, options, 8),
            "Call Stack Information:\r\n"
            "-------------------------------------------------------------------\r\n"
            "|Address |Module      |Unit  |Class |Procedure/Method        |Line|\r\n"
            "-------------------------------------------------------------------\r\n"
            "|0040120A|demo.exe    |Main  |TForm1|Button1Click            |42  |\r\n"
            "|7C802000|kernel32.dll|      |      |RaiseException          |    |\r\n"
            "|00402000|demo.exe    |Unit  |TAb   |ARatherLongProcedureName|    |\r\n"
            "-------------------------------------------------------------------");
}

TEST(CallStackTable, WithoutShownEntriesHasOnlyTheHeaderRow) {
  TVantorModuleOptions options("x.exe", false);
  const std::string sep(50, '-');
  const std::string header = "|Address |Module|Unit|Class|Procedure/Method|Line|";
  const std::string expected =
      "Call Stack Information:\r\n" + sep + "\r\n" + header + "\r\n" + sep + "\r\n" + sep;
  EXPECT_EQ(report::FormatCallStackTable({}, options, 8), expected);
  EXPECT_EQ(
      report::FormatCallStackTable(
          {Entry(0, 1, "", 0, "", "", "", 0), Entry(1, 2, "a.dll", 3, "", "", "", 0)}, options, 8),
      expected);
  // 16 digits on x86-64 widen the address column.
  EXPECT_NE(report::FormatCallStackTable({}, options, 16).find("|Address         |Module|"),
            std::string::npos);
}

TEST(CallStackRows, FollowTheDialogRulesForKindsAndIcons) {
  struct Case {
    uint8_t kind;
    uint8_t type;
    bool shown;
    int icon;
  } cases[] = {
      {0, 1, false, 2}, {1, 3, false, 0}, {2, 0, true, 0}, {2, 1, true, 2},
      {2, 2, true, 1},  {2, 3, true, 0},  {2, 9, true, 3}, {3, 1, false, 2},
      {3, 3, true, 0},  {4, 1, true, 3},  {4, 3, true, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << int(c.kind) << " type " << int(c.type));
    const TStackEntryFacts e = Entry(c.kind, 0xABC, "D:\\x\\lib.dll", c.type, "U", "C", "P", 7);
    EXPECT_EQ(report::CallStackRowShown(e), c.shown);
    EXPECT_EQ(report::CallStackRowCells(e, 8).Icon, c.icon);
  }
  const auto row =
      report::CallStackRowCells(Entry(2, 0xABC, "D:\\x\\lib.dll", 3, "", "", "P", 0), 8);
  EXPECT_EQ(row.Cells, (report::TTableRow{"00000ABC", "lib.dll", "", "", "P", ""}));
  const auto rows = report::CallStackRows(
      {Entry(3, 1, "a.exe", 1, "", "", "Hidden", 0), Entry(4, 2, "a.exe", 1, "U", "", "Shown", 3)},
      16);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].Cells[0], "0000000000000002");
  EXPECT_EQ(rows[0].Cells[5], "3");
}

TEST(ModulesTable, KeepsTheHandleColumnAtPointerWidthAndShowsFolders) {
  TVantorModuleOptions options("x.exe", false);
  std::vector<TModuleFacts> modules(3);
  modules[0] = {0x00400000, "C:\\App\\demo.exe", "Demo program", "1.2.3.4", 123456};
  modules[1] = {0x7C800000, "C:\\kernel32.dll", "", "0.0.0.0", 0};
  modules[2] = {0x10000000, "lib.dll", "Bad\r\ndescription", "", 7};
  EXPECT_EQ(report::FormatModulesTable(modules, options, 8),
            "Modules Information:\r\n"
            "--------------------------------------------------------------\r\n"
            "|Handle  |Name        |Description     |Version|Size  |Path  |\r\n"
            "--------------------------------------------------------------\r\n"
            "|00400000|demo.exe    |Demo program    |1.2.3.4|123456|C:\\App|\r\n"
            "|7C800000|kernel32.dll|                |       |0     |C:\\   |\r\n"
            "|10000000|lib.dll     |Bad  description|       |7     |      |\r\n"
            "--------------------------------------------------------------");

  // A longer header text makes the header row wider than the separator; the column stays.
  options.SetTextTable(core::txModulesHandle, "Module Handle");
  const std::string table = report::FormatModulesTable({modules[0]}, options, 8);
  EXPECT_NE(table.find("\r\n|Module Handle|Name    |"), std::string::npos);
  EXPECT_NE(table.find("\r\n|00400000|demo.exe|"), std::string::npos);
}

}  // namespace
