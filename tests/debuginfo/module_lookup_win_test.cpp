// Lookups over a real library loaded by the loader (and moved away from its preferred base), and
// over this program's own code: export lists, detail levels, offsets from the real load address,
// and routines found by name.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <map>

#include "debuginfo/debug_table.h"
#include "debuginfo/find_and_redirect.h"
#include "debuginfo/functions_list_builder.h"
#include "debuginfo/module_seam.h"
#include "debuginfo/source_info.h"
#include "support/pe_image.h"

using namespace vl;

// Stands in for the module registry's record.
namespace vl {
struct TVantorModuleInfo {
  std::string Tag;
};
}  // namespace vl

namespace {

const char kLibrary[] = "debuginfo_sample_library.dll";

// What the module registry would hold: one entry per module handle.
struct TestModule {
  TVantorModuleInfo Info;
  uint16_t DataVersion = 454;
  std::vector<uint8_t> DebugInfo;
  TVantorFunctionsList Functions;
};
std::map<uintptr_t, TestModule>& Modules() {
  static std::map<uintptr_t, TestModule> modules;
  return modules;
}

bool TestFinder(uintptr_t address, TDebugModule& module) {
  MEMORY_BASIC_INFORMATION mbi;
  if (VirtualQuery(reinterpret_cast<void*>(address), &mbi, sizeof mbi) == 0 ||
      mbi.State != MEM_COMMIT) {
    return false;
  }
  auto found = Modules().find(reinterpret_cast<uintptr_t>(mbi.AllocationBase));
  if (found == Modules().end()) return false;
  TestModule& m = found->second;
  module.Info = &m.Info;
  module.Base = found->first;
  module.DataVersion = m.DataVersion;
  module.DebugInfo = m.DebugInfo.empty() ? nullptr : m.DebugInfo.data();
  module.DebugInfoSize = m.DebugInfo.size();
  module.Functions = &m.Functions;
  return true;
}

uintptr_t ExeBase() { return reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)); }

int32_t CodeOffset(uintptr_t base, uintptr_t address) {
  return static_cast<int32_t>(address - base - 4096);
}

__attribute__((noinline)) int TargetRoutine() {
  asm volatile("");
  return 1;
}
int Replacement() { return 2; }

// A jump written over the start of the target: enough to show that the routine found by name is
// the real one. (The hooking engine does the real work in the product.)
void* JumpRedirect(void* target, void* newProc, const std::string& traceName) {
  static std::string lastTrace;
  lastTrace = traceName;
  DWORD old;
  if (!VirtualProtect(target, 5, PAGE_EXECUTE_READWRITE, &old)) return nullptr;
  uint8_t jump[5] = {0xE9};
  int32_t rel = static_cast<int32_t>(reinterpret_cast<intptr_t>(newProc) -
                                     (reinterpret_cast<intptr_t>(target) + 5));
  std::memcpy(jump + 1, &rel, 4);
  std::memcpy(target, jump, 5);
  VirtualProtect(target, 5, old, &old);
  FlushInstructionCache(GetCurrentProcess(), target, 5);
  return target;
}

class ModuleLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = LoadLibraryA(kLibrary);
    ASSERT_NE(library_, nullptr);
    base_ = reinterpret_cast<uintptr_t>(library_);
    Modules().clear();
    Modules()[base_].Info.Tag = "library";
    Modules()[ExeBase()].Info.Tag = "program";
    ASSERT_TRUE(BuildFunctionsList(base_, Modules()[base_].Functions));
    debuginfo::Seams().ModuleFinder = TestFinder;
  }
  void TearDown() override {
    debuginfo::Seams().ModuleFinder = nullptr;
    debuginfo::Seams().RedirectProc = nullptr;
    Modules().clear();
    FreeLibrary(library_);
  }
  uintptr_t Export(const char* name) {
    return reinterpret_cast<uintptr_t>(GetProcAddress(library_, name));
  }

  HMODULE library_ = nullptr;
  uintptr_t base_ = 0;
};

TEST_F(ModuleLookup, LibraryWasMovedFromItsPreferredBase) {
  EXPECT_NE(base_, static_cast<uintptr_t>(VL_SAMPLE_IMAGE_BASE));
}

TEST_F(ModuleLookup, ExportListHoldsRealAddressesAndSizes) {
  const TVantorFunctionsList& list = Modules()[base_].Functions;
  ASSERT_EQ(list.Count(), 3u);
  for (size_t i = 1; i < list.Count(); ++i) EXPECT_LT(list[i - 1].Addr, list[i].Addr);
  std::map<std::string, TVantorFunctionInfo> byName;
  for (size_t i = 0; i < list.Count(); ++i) byName[list[i].Name] = list[i];
  ASSERT_EQ(byName.count("FramedRoutine"), 1u);
  ASSERT_EQ(byName.count("PlainRoutine"), 1u);
  ASSERT_EQ(byName.count("Sample.TWidget.Paint"), 1u);
  EXPECT_EQ(byName["PlainRoutine"].Addr, Export("PlainRoutine"));
  EXPECT_EQ(byName["FramedRoutine"].Addr, Export("FramedRoutine"));
  EXPECT_EQ(byName["PlainRoutine"].Size, 2);
  EXPECT_EQ(byName["Sample.TWidget.Paint"].Size, 3);
#if defined(__x86_64__)
  EXPECT_EQ(byName["FramedRoutine"].Size, 10);
#else
  EXPECT_EQ(byName["FramedRoutine"].Size, 9);
#endif
}

TEST_F(ModuleLookup, ExportNamesGiveTheirDetail) {
  TVantorDebugInfo info = GetSourceInfo(Export("PlainRoutine") + 2);
  EXPECT_EQ(info.DebugDetail, 2);
  EXPECT_EQ(info.ModuleInfo, &Modules()[base_].Info);
  EXPECT_EQ(info.ProcedureName, "PlainRoutine");
  EXPECT_EQ(info.UnitName, "");

  info = GetSourceInfo(Export("Sample.TWidget.Paint") + 1);
  EXPECT_EQ(info.DebugDetail, 3);
  EXPECT_EQ(info.UnitName, "Sample.pas");
  EXPECT_EQ(info.ClassName, "TWidget");
  EXPECT_EQ(info.ProcedureName, "Paint");

  // Just past a routine's return, and in the headers: the module only.
  for (uintptr_t address : {Export("PlainRoutine") + 3, base_ + 16}) {
    info = GetSourceInfo(address);
    EXPECT_EQ(info.DebugDetail, 1);
    EXPECT_EQ(info.ModuleInfo, &Modules()[base_].Info);
    EXPECT_EQ(info.Addr, address);
    EXPECT_EQ(info.ProcedureName, "");
    EXPECT_EQ(info.LineNumber, 0);
  }

  // Memory of no module: nothing.
  int local = 0;
  info = GetSourceInfo(reinterpret_cast<uintptr_t>(&local));
  EXPECT_EQ(info.DebugDetail, 0);
  EXPECT_EQ(info.ModuleInfo, nullptr);
}

TEST_F(ModuleLookup, DebugInformationCountsFromTheRealLoadAddress) {
  const uintptr_t plain = Export("PlainRoutine");
  vl::TDebugTable table;
  table.Units.push_back(
      {"SampleUnit", 40, CodeOffset(base_, plain), 3, {{{2, 2, true}, "TSample.Plain"}}});
  Modules()[base_].DebugInfo = vl::WriteDebugTable(table, 454);

  TVantorDebugInfo info = GetSourceInfo(plain + 1);
  EXPECT_EQ(info.DebugDetail, 4);
  EXPECT_EQ(info.ModuleInfo, &Modules()[base_].Info);
  EXPECT_EQ(info.Addr, plain + 1);
  EXPECT_EQ(info.UnitName, "SampleUnit.pas");
  EXPECT_EQ(info.ClassName, "TSample");
  EXPECT_EQ(info.ProcedureName, "Plain");
  EXPECT_EQ(info.LineNumber, 40);
  EXPECT_EQ(GetSourceInfo(plain + 2).LineNumber, 42);
  // Outside the unit the export list answers.
  EXPECT_EQ(GetSourceInfo(Export("FramedRoutine")).DebugDetail, 2);
}

TEST_F(ModuleLookup, RoutinesAreFoundAndRedirectedByName) {
  const uintptr_t target = reinterpret_cast<uintptr_t>(&TargetRoutine);
  vl::TDebugTable table;
  table.Index = {{"Tests.Other", 0, 0}, {"Tests.TTarget.Run", CodeOffset(ExeBase(), target), 0}};
  Modules()[ExeBase()].DebugInfo = vl::WriteDebugTable(table, 454);

  EXPECT_EQ(FindProcAddress("Tests.TTarget.Run"), target);
  EXPECT_EQ(FindProcAddress("Tests.TTarget.run"), 0u);
  EXPECT_EQ(HookProcByName("Tests.TTarget.Run", nullptr), reinterpret_cast<void*>(target));
  // No hooking engine: nothing is redirected.
  EXPECT_EQ(HookProcByName("Tests.TTarget.Run", reinterpret_cast<void*>(&Replacement)), nullptr);

  // The package fallback for names the index does not hold.
  EXPECT_EQ(FindAndRedirect("Missing.Name", kLibrary, "PlainRoutine", nullptr),
            reinterpret_cast<void*>(Export("PlainRoutine")));
  EXPECT_EQ(FindAndRedirect("Missing.Name", kLibrary, "NoSuchExport", nullptr), nullptr);
  EXPECT_EQ(FindAndRedirect("Missing.Name", "no_such_module.dll", "PlainRoutine", nullptr),
            nullptr);

  int (*volatile call)() = &TargetRoutine;
  ASSERT_EQ(call(), 1);
  debuginfo::Seams().RedirectProc = JumpRedirect;
  EXPECT_EQ(HookProcByName("Tests.TTarget.Run", reinterpret_cast<void*>(&Replacement)),
            reinterpret_cast<void*>(target));
  EXPECT_EQ(call(), 2);
}

TEST_F(ModuleLookup, DamagedDebugInformationFallsBackToExports) {
  const uintptr_t plain = Export("PlainRoutine");
  vl::TDebugTable table;
  table.Units.push_back({"SampleUnit", 1, CodeOffset(base_, plain), 3, {{{1, 1, false}, ""}}});
  std::vector<uint8_t> bytes = vl::WriteDebugTable(table, 454);
  bytes.back() = 0x0F;  // a four-byte record cut by the end of the block
  Modules()[base_].DebugInfo = bytes;
  TVantorDebugInfo info = GetSourceInfo(plain);
  EXPECT_EQ(info.DebugDetail, 2);
  EXPECT_EQ(info.ProcedureName, "PlainRoutine");
}

// An image in memory whose second code page may be executed but not read: its export is left
// out instead of being measured by reading that page.
TEST(FunctionsListBuilder, ExecuteOnlyCodeIsNotRead) {
  const size_t kPage = 4096;
  auto* image = static_cast<uint8_t*>(VirtualAlloc(nullptr, 3 * kPage, MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(image, nullptr);
  testsupport::TPeImage pe(sizeof(void*) == 8, kPage, 3 * kPage);
  pe.Put16(pe.kPe + 22, 0x2002);  // a library
  pe.Code(kPage, 2 * kPage);
  pe.Exports(0x400, {kPage, 2 * kPage}, {{"Readable", 0}, {"ExecuteOnly", 1}});
  std::memcpy(image, pe.Bytes.data(), kPage);
  const uint8_t routine[] = {0x33, 0xC0, 0xC3};  // xor eax, eax; ret
  std::memcpy(image + kPage, routine, sizeof routine);
  std::memcpy(image + 2 * kPage, routine, sizeof routine);
  DWORD previous;
  ASSERT_TRUE(VirtualProtect(image + kPage, kPage, PAGE_EXECUTE_READ, &previous));
  ASSERT_TRUE(VirtualProtect(image + 2 * kPage, kPage, PAGE_EXECUTE, &previous));

  TVantorFunctionsList list;
  ASSERT_TRUE(BuildFunctionsList(reinterpret_cast<uintptr_t>(image), list));
  ASSERT_EQ(list.Count(), 1u);
  EXPECT_EQ(list[0].Name, "Readable");
  EXPECT_EQ(list[0].Addr, reinterpret_cast<uintptr_t>(image + kPage));
  EXPECT_EQ(list[0].Size, 2);
  VirtualFree(image, 0, MEM_RELEASE);
}

}  // namespace
