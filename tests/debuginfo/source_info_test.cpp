// The lookups through the module and hooking-engine procedure variables, with a module laid out
// in ordinary memory: which detail each source gives, and what is found by name.
#include "debuginfo/source_info.h"

#include <gtest/gtest.h>

#include "debuginfo/debug_table.h"
#include "debuginfo/module_seam.h"

using namespace vl;

namespace vl {
struct TVantorModuleInfo {
  int Id;
};
}  // namespace vl

namespace {

// A pretend module whose "image" is a buffer; the crash reporter's own code (FindProcAddress)
// counts as part of it too, so that name lookups reach its index.
struct FakeModule {
  TVantorModuleInfo Info{7};
  std::vector<uint8_t> Image = std::vector<uint8_t>(0x3000);
  std::vector<uint8_t> DebugInfo;
  TVantorFunctionsList Functions;
  uintptr_t Base() const { return reinterpret_cast<uintptr_t>(Image.data()); }
};
FakeModule* g_module = nullptr;

bool Finder(uintptr_t address, TDebugModule& m) {
  const bool own = address == reinterpret_cast<uintptr_t>(&FindProcAddress);
  if (!own && (address < g_module->Base() || address - g_module->Base() >= g_module->Image.size()))
    return false;
  m.Info = &g_module->Info;
  m.Base = g_module->Base();
  m.DataVersion = 454;
  m.DebugInfo = g_module->DebugInfo.empty() ? nullptr : g_module->DebugInfo.data();
  m.DebugInfoSize = g_module->DebugInfo.size();
  m.Functions = &g_module->Functions;
  return true;
}

struct Redirected {
  void* target = nullptr;
  void* newProc = nullptr;
  std::string name;
} g_redirected;

void* FakeRedirect(void* target, void* newProc, const std::string& name) {
  g_redirected = {target, newProc, name};
  return reinterpret_cast<void*>(0x1234);
}

class SourceInfo : public ::testing::Test {
 protected:
  void SetUp() override {
    g_module = &module_;
    debuginfo::Seams().ModuleFinder = Finder;
    vl::TDebugTable table;
    table.Index = {{"Main.TForm1.Open", 0x100, 0}};
    table.Units.push_back({"Main", 30, 0x100, 0x20, {{{1, 8, true}, "TForm1.Open"}}});
    module_.DebugInfo = vl::WriteDebugTable(table, 454);
    const uintptr_t base = module_.Base();
    module_.Functions.Add({"@Forms@TApplication@Run$qqrv", base + 0x2000, 0x10});
    module_.Functions.Add({"MessageBoxA", base + 0x1000, 0x10});
    module_.Functions.Add({"?Mangled@@YAXXZ", base + 0x1800, 0x10});
    module_.Functions.Sort();
  }
  void TearDown() override {
    debuginfo::Seams().ModuleFinder = nullptr;
    debuginfo::Seams().RedirectProc = nullptr;
    g_module = nullptr;
  }
  FakeModule module_;
};

TEST_F(SourceInfo, EachSourceGivesItsDetail) {
  const uintptr_t base = module_.Base();
  TVantorDebugInfo info = GetSourceInfo(base + 0x1000 + 0x104);
  EXPECT_EQ(info.DebugDetail, 4);
  EXPECT_EQ(info.ModuleInfo, &module_.Info);
  EXPECT_EQ(info.UnitName, "Main.pas");
  EXPECT_EQ(info.ClassName, "TForm1");
  EXPECT_EQ(info.ProcedureName, "Open");
  EXPECT_EQ(info.LineNumber, 30);
  EXPECT_EQ(GetSourceInfo(base + 0x1000 + 0x108).LineNumber, 31);

  info = GetSourceInfo(base + 0x2010);  // the last byte of Run
  EXPECT_EQ(info.DebugDetail, 3);
  EXPECT_EQ(info.UnitName, "Forms.pas");
  EXPECT_EQ(info.ClassName, "TApplication");
  EXPECT_EQ(info.ProcedureName, "Run");

  info = GetSourceInfo(base + 0x1000);  // below the unit: the export list answers
  EXPECT_EQ(info.DebugDetail, 2);
  EXPECT_EQ(info.ProcedureName, "MessageBoxA");

  for (uintptr_t address : {base + 0x1800, base + 0x2011, base + 0x10}) {
    info = GetSourceInfo(address);
    EXPECT_EQ(info.DebugDetail, 1);
    EXPECT_EQ(info.ModuleInfo, &module_.Info);
    EXPECT_EQ(info.Addr, address);
    EXPECT_EQ(info.ProcedureName, "");
  }

  info = GetSourceInfo(base + 0x3000);
  EXPECT_EQ(info.DebugDetail, 0);
  EXPECT_EQ(info.ModuleInfo, nullptr);
  debuginfo::Seams().ModuleFinder = nullptr;
  EXPECT_EQ(GetSourceInfo(base + 0x1104).DebugDetail, 0);
}

TEST_F(SourceInfo, RoutinesByName) {
  const uintptr_t open = module_.Base() + 0x1000 + 0x100;
  EXPECT_EQ(FindProcAddress("Main.TForm1.Open"), open);
  EXPECT_EQ(FindProcAddress("Main.TForm1.Close"), 0u);
  EXPECT_EQ(HookProcByName("Main.TForm1.Open", nullptr), reinterpret_cast<void*>(open));
  void* replacement = reinterpret_cast<void*>(0x5678);
  EXPECT_EQ(HookProcByName("Main.TForm1.Open", replacement), nullptr);  // no engine yet
  debuginfo::Seams().RedirectProc = FakeRedirect;
  EXPECT_EQ(HookProcByName("Main.TForm1.Open", replacement), reinterpret_cast<void*>(0x1234));
  EXPECT_EQ(g_redirected.target, reinterpret_cast<void*>(open));
  EXPECT_EQ(g_redirected.newProc, replacement);
  EXPECT_EQ(g_redirected.name, "Main.TForm1.Open");
  g_redirected = {};
  EXPECT_EQ(HookProcByName("Main.Missing", replacement), nullptr);
  EXPECT_EQ(g_redirected.target, nullptr);
}

}  // namespace
