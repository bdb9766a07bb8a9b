// The module list and the facts each record holds, on real modules: the test executable, the
// probe libraries and copies of them.
#include "modules/module_registry.h"

#include <gtest/gtest.h>

#include <cstring>

#include "datablock/data_block_writer.h"
#include "debuginfo/module_seam.h"
#include "debuginfo/source_info.h"
#include "hooking/hook_errors.h"
#include "modules/fake_module_options.h"
#include "modules/module_type.h"
#include "modules/probe_files.h"
#include "platform/module_file.h"
#include "platform/version_info.h"

using namespace vl;

using namespace testsupport;
using modules::TVantorModuleInfo;

namespace {

class ModuleRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    ConnectFakeOptions();
    modules::CreateModulesList();
  }
  void TearDown() override {
    modules::FreeModulesList();
    for (HMODULE m : loaded_) FreeLibrary(m);
  }
  HMODULE Load(const std::string& path) {
    HMODULE module = LoadLibraryA(path.c_str());
    EXPECT_TRUE(module) << path;
    if (module) loaded_.push_back(module);
    return module;
  }
  std::vector<HMODULE> loaded_;
};

}  // namespace

TEST_F(ModuleRegistry, RecordsAreMadeOnceAndCompletedWhenAskedFor) {
  HMODULE exe = GetModuleHandleA(nullptr);
  TVantorModuleInfo* first = modules::GetModuleInfo(exe);
  ASSERT_TRUE(first);
  EXPECT_EQ(modules::GetModuleInfo(exe), first) << "the same record twice";
  EXPECT_EQ(modules::GetModuleInfoByAddress(reinterpret_cast<const void*>(&modules::GetModuleInfo)),
            first);
  EXPECT_EQ(first->ModuleType, modules::mtExecutable);
  EXPECT_EQ(modules::GetModuleInfo(nullptr), nullptr);
  EXPECT_EQ(modules::GetModuleInfo(reinterpret_cast<HMODULE>(uintptr_t{0x10000})), nullptr)
      << "no file name: not registered";

  std::string path = ProbeCopy("light.dll");
  ASSERT_TRUE(AttachResource(path, datablock::BuildResourceBlock(Payload("o", "d"))));
  HMODULE probe = Load(path);
  ASSERT_TRUE(probe);
  modules::RefreshModulesList();
  modules::TVantorModulesList* list = modules::ModulesList();
  ASSERT_GT(list->Count(), 3) << "the executable, the probe, the system libraries";
  for (int i = 1; i < list->Count(); ++i)
    EXPECT_LT(reinterpret_cast<uintptr_t>((*list)[i - 1]->Handle),
              reinterpret_cast<uintptr_t>((*list)[i]->Handle))
        << "sorted by handle, each once";
  int index = list->IndexOf(probe);
  ASSERT_GE(index, 0);
  TVantorModuleInfo* light = (*list)[index];
  EXPECT_EQ(light->ModuleType, modules::mtNotDetermined);
  EXPECT_FALSE(light->DebugInfo) << "an enumeration reads no block";
  EXPECT_EQ(light->DataVersion, 454);
  EXPECT_EQ(light->Version, "1.2.3.4");
  EXPECT_EQ(modules::GetModuleInfo(exe), first) << "known records stay as they are";

  EXPECT_FALSE(light->Complete);
  const int count = list->Count();
  TVantorModuleInfo* full = modules::GetModuleInfo(probe);
  ASSERT_TRUE(full);
  EXPECT_EQ(full, light) << "completed in place: kept pointers stay valid";
  EXPECT_TRUE(full->Complete);
  EXPECT_EQ(full->ModuleType, modules::mtLibrary);
  ASSERT_TRUE(full->DebugInfo);
  EXPECT_EQ(list->IndexOf(probe), index) << "the list does not change under its readers";
  EXPECT_EQ(list->Count(), count);
  const std::vector<uint8_t>* debugInfo = full->DebugInfo.get();
  EXPECT_EQ(modules::GetModuleInfo(probe), full);
  EXPECT_EQ(full->DebugInfo.get(), debugInfo) << "completed once";
  EXPECT_EQ(modules::GetModuleInfoByAddress(
                reinterpret_cast<const void*>(GetProcAddress(probe, "ProbeFunction"))),
            full);

  // An unloaded module leaves the list at the next enumeration.
  FreeLibrary(probe);
  loaded_.pop_back();
  modules::RefreshModulesList();
  EXPECT_EQ(list->IndexOf(probe), -1);
}

TEST_F(ModuleRegistry, VersionDescriptionTypeAndFile) {
  HMODULE library = Load(ExeFolder() + "probe_library.dll");
  HMODULE package = Load(ExeFolder() + "probe_package.dll");
  ASSERT_TRUE(library && package);

  TVantorModuleInfo* lib = modules::GetModuleInfo(library);
  ASSERT_TRUE(lib);
  EXPECT_EQ(lib->Version, "1.2.3.4");
  EXPECT_EQ(lib->Description, "Block probe library");
  EXPECT_EQ(lib->ModuleType, modules::mtLibrary) << "PACKAGEINFO alone is no package";
  EXPECT_EQ(lib->FileName, ExeFolder() + "probe_library.dll");
  EXPECT_EQ(modules::GetModuleFolder(*lib) + "\\probe_library.dll", lib->FileName);

  WIN32_FILE_ATTRIBUTE_DATA attributes;
  ASSERT_TRUE(GetFileAttributesExA(lib->FileName.c_str(), GetFileExInfoStandard, &attributes));
  EXPECT_EQ(static_cast<DWORD>(lib->FileSize), attributes.nFileSizeLow);
  EXPECT_GT(lib->FileSize, 0);

  TVantorModuleInfo* pkg = modules::GetModuleInfo(package);
  ASSERT_TRUE(pkg);
  EXPECT_EQ(pkg->Version, "") << "0.0.0.0 counts as no version";
  EXPECT_EQ(pkg->Description, "") << "an empty description";
  EXPECT_EQ(pkg->ModuleType, modules::mtPackage);

  std::string description = "x", version = "y";
  platform::GetVersionInfo(ExeFolder() + "no such file.dll", description, version);
  EXPECT_EQ(description + version, "");
  EXPECT_EQ(platform::GetFileSize(ExeFolder() + "no such file.dll"), 0);
  EXPECT_EQ(platform::GetFileSize(ExeFolder() + "probe_*.dll"),
            platform::GetFileSize(ExeFolder() + "probe_library.dll"))
      << "the first match of the search";
  EXPECT_EQ(modules::GetModuleType(reinterpret_cast<HMODULE>(uintptr_t{0x10000})), 0);
}

TEST(ModuleFolder, DriveRootKeepsItsBackslash) {
  EXPECT_EQ(platform::FolderOf("C:\\x.dll"), "C:\\");
  EXPECT_EQ(platform::FolderOf("C:\\a\\b\\x.dll"), "C:\\a\\b");
  EXPECT_EQ(platform::FolderOf("\\\\server\\share\\x.dll"), "\\\\server\\share");
  EXPECT_EQ(platform::FolderOf("x.dll"), "");
}

namespace {
int RedirectReplacement() { return 1; }
}  // namespace

// The host-framework handlers must tell a routine that is not there from one the hooking engine
// refuses: the first gives null, the second raises the engine's error.
TEST_F(ModuleRegistry, RedirectionRefusedRaisesWhileNotFoundGivesNull) {
  modules::Seams();  // connects the lookups' seams
  ASSERT_NE(debuginfo::Seams().RedirectProc, nullptr);
  void* replacement = reinterpret_cast<void*>(&RedirectReplacement);
  EXPECT_EQ(HookProcByName("Nowhere.TNothing.Run", replacement), nullptr);

  const uint8_t shortJump[] = {0xEB, 0x00, 0xB8, 0x07, 0x00, 0x00, 0x00, 0xC3};
  auto* page = static_cast<uint8_t*>(
      VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE));
  ASSERT_NE(page, nullptr);
  std::memcpy(page, shortJump, sizeof shortJump);
  EXPECT_THROW(debuginfo::Seams().RedirectProc(page, replacement, "ShortJump"), EHookingError);
  EXPECT_THROW(debuginfo::Seams().RedirectProc(nullptr, replacement, "Null"), EProcNull);
  EXPECT_EQ(std::memcmp(page, shortJump, sizeof shortJump), 0);
  VirtualFree(page, 0, MEM_RELEASE);
}
