// The post-build step on a real program: this test program is linked with a placeholder
// resource and given its block by vl_attach_data_block; the lookups then read the block that
// the program finds in its own resources.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/module_options.h"
#include "datablock/data_block_reader.h"
#include "debuginfo/module_seam.h"
#include "debuginfo/source_info.h"
#include "modules/data_block_loader.h"
#include "postbuild_sample.h"
#include "runtime/application.h"
#include "support/source_marker.h"

using namespace vl;

using testsupport::MarkerLine;

int FreeRoutine(int value);

namespace {

struct OwnBlock {
  bool Found = false;
  datablock::TDataBlock Block;
};
OwnBlock& Own() {
  static OwnBlock own;
  return own;
}

uintptr_t ExeBase() { return reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)); }

bool OwnFinder(uintptr_t address, TDebugModule& module) {
  MEMORY_BASIC_INFORMATION mbi;
  if (VirtualQuery(reinterpret_cast<void*>(address), &mbi, sizeof mbi) == 0 ||
      reinterpret_cast<uintptr_t>(mbi.AllocationBase) != ExeBase() || !Own().Found) {
    return false;
  }
  module.Base = ExeBase();
  module.DataVersion = Own().Block.DataVersion;
  module.DebugInfo = Own().Block.DebugInfo.data();
  module.DebugInfoSize = Own().Block.DebugInfo.size();
  return true;
}

class PostBuildBlock : public ::testing::Test {
 protected:
  void SetUp() override {
    HRSRC found = FindResourceA(nullptr, "VLDATA", MAKEINTRESOURCEA(10));
    ASSERT_NE(found, nullptr);
    const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, found)));
    DWORD size = SizeofResource(nullptr, found);
    datablock::TBlockResult result = datablock::ReadResourceBlock(
        data, size, [this](const uint8_t* bytes, size_t count, uint16_t version) {
          core::TMemoryStream stream(bytes, count);
          options_.LoadFromStream(stream, version);
          return stream.Position();
        });
    // Read as a reader before the extension reads it; the extension comes after.
    ASSERT_TRUE(result.Found) << result.Reason;
    options_.LoadExtension(result.Block.Extension.data(), result.Block.Extension.size());
    Own().Found = true;
    Own().Block = result.Block;
    debuginfo::Seams().ModuleFinder = OwnFinder;
  }
  void TearDown() override { debuginfo::Seams().ModuleFinder = nullptr; }

  TVantorModuleOptions options_{"", false};
};

TEST_F(PostBuildBlock, ProgramCountsAsCarryingTheCrashReporter) {
  EXPECT_TRUE(modules::IsVantorLogModule(GetModuleHandleA(nullptr)));
  EXPECT_EQ(Own().Block.DataVersion, 454);
}

TEST_F(PostBuildBlock, OptionsComeFromTheIniFile) {
  EXPECT_FALSE(options_.TellUser());
  EXPECT_EQ(options_.MailMode(), mmViaServer);
  EXPECT_EQ(options_.SmtpServerPort(), 2525);
  EXPECT_EQ(options_.MailSubject(), "Sample report");
  EXPECT_EQ(options_.TextTable(core::txDialogCaption), "Sample Crash");
  EXPECT_EQ(options_.TextTable(core::txLogOsType), "OS\tkind");
  EXPECT_EQ(options_.UploadUrl(), "http://127.0.0.1:9/api/7/minidump/?sentry_key=sample");
  EXPECT_EQ(options_.SmtpSecurity(), ssStartTls);
  EXPECT_FALSE(options_.AttachMinidump());
  // Everything else keeps its default.
  EXPECT_TRUE(options_.ShowThirdButton());
  EXPECT_EQ(options_.TextTable(core::txLogType), core::DefaultTexts[core::txLogType]);
}

TEST_F(PostBuildBlock, KnownRoutinesResolveToTheirSourceLines) {
  sample::TTarget target;
  EXPECT_EQ(target.Run(1), 8);
  int (sample::TTarget::*run)(int) = &sample::TTarget::Run;
  uintptr_t runAddress;
  static_assert(sizeof run >= sizeof runAddress, "member pointer holds the address first");
  std::memcpy(&runAddress, &run, sizeof runAddress);

  TVantorDebugInfo info = GetSourceInfo(runAddress);
  EXPECT_EQ(info.DebugDetail, 4);
  EXPECT_EQ(info.UnitName, "postbuild_sample.cpp");
  EXPECT_EQ(info.ClassName, "sample.TTarget");
  EXPECT_EQ(info.ProcedureName, "Run");
  EXPECT_EQ(info.LineNumber,
            static_cast<int>(MarkerLine(VL_TOOLS_TEST_DIR, "postbuild_sample.cpp", "run-entry")));

  info = GetSourceInfo(reinterpret_cast<uintptr_t>(&FreeRoutine));
  EXPECT_EQ(info.UnitName, "postbuild_sample.cpp");
  EXPECT_EQ(info.ClassName, "");
  EXPECT_EQ(info.ProcedureName, "FreeRoutine");
  EXPECT_EQ(info.LineNumber,
            static_cast<int>(MarkerLine(VL_TOOLS_TEST_DIR, "postbuild_sample.cpp", "free-entry")));

  EXPECT_EQ(FindProcAddress("sample.TTarget.Run"), runAddress);
  EXPECT_EQ(FindProcAddress("FreeRoutine"), reinterpret_cast<uintptr_t>(&FreeRoutine));
}

TEST_F(PostBuildBlock, InlinedHeaderCodeBelongsToTheHeader) {
  sample::TTarget target;
  uintptr_t inlined = target.CallInline(2);
  TVantorDebugInfo info = GetSourceInfo(inlined);
  EXPECT_EQ(info.DebugDetail, 4);
  EXPECT_EQ(info.UnitName, "postbuild_sample.h");
  // The inlined code runs inside its caller.
  EXPECT_EQ(info.ClassName, "sample.TTarget");
  EXPECT_EQ(info.ProcedureName, "CallInline");
  int body = static_cast<int>(MarkerLine(VL_TOOLS_TEST_DIR, "postbuild_sample.h", "header-body"));
  EXPECT_GE(info.LineNumber, body);
  EXPECT_LE(info.LineNumber, body + 3);
}

TEST_F(PostBuildBlock, RuntimeApplicationHandlerIsFoundByItsFullName) {
  // Keep the runtime's application class in the program.
  static void (Forms::TApplication::*volatile handler)(void*) =
      &Forms::TApplication::HandleException;
  ASSERT_TRUE(handler != nullptr);
  uintptr_t address = FindProcAddress("vl.Forms.TApplication.HandleException");
  ASSERT_NE(address, 0u);
  TVantorDebugInfo info = GetSourceInfo(address);
  EXPECT_EQ(info.UnitName, "application.cpp");
  EXPECT_EQ(info.ClassName, "vl.Forms.TApplication");
  EXPECT_EQ(info.ProcedureName, "HandleException");
}

}  // namespace
