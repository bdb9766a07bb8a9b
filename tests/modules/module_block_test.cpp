// Data blocks in real libraries loaded under the platform's loader: both forms, both at once,
// none, old versions, damaged blocks, an unreadable file, and options published by a module.
#include <gtest/gtest.h>

#include "core/trace.h"
#include "datablock/data_block_format.h"
#include "datablock/data_block_writer.h"
#include "modules/data_block_loader.h"
#include "modules/fake_module_options.h"
#include "modules/module_registry.h"
#include "modules/probe_files.h"
#include "publishing/virtual_file.h"
#include "runtime/exceptions.h"

using namespace vl;

using namespace datablock;
using namespace testsupport;
using modules::TVantorModuleInfo;

namespace {

class ModuleBlock : public ::testing::Test {
 protected:
  void SetUp() override {
    ConnectFakeOptions();
    modules::CreateModulesList();
  }
  void TearDown() override {
    modules::FreeModulesList();
    for (HMODULE m : loaded_) FreeLibrary(m);
  }

  // Loads the file and returns its full registration record.
  TVantorModuleInfo* Register(const std::string& path) {
    HMODULE module = LoadLibraryA(path.c_str());
    EXPECT_NE(module, nullptr) << path;
    if (!module) return nullptr;
    loaded_.push_back(module);
    return modules::GetModuleInfo(module);
  }

  std::string DebugText(const TVantorModuleInfo& info) {
    return info.DebugInfo ? std::string(info.DebugInfo->begin(), info.DebugInfo->end()) : "<none>";
  }

  std::vector<HMODULE> loaded_;
};

}  // namespace

TEST_F(ModuleBlock, EachFormIsFoundAndTheResourceWins) {
  std::string none = ProbeCopy("none.dll");
  std::string resource = ProbeCopy("resource.dll");
  ASSERT_TRUE(AttachResource(resource, BuildResourceBlock(Payload("res", "res-debug"), 454, 5, 6)));
  std::string trailer = ProbeCopy("trailer.dll");
  ASSERT_TRUE(AttachTrailer(trailer, BuildTrailer(Payload("old", "old-debug"), 452, 7, 8)));
  std::string both = ProbeCopy("both.dll");
  ASSERT_TRUE(AttachResource(both, BuildResourceBlock(Payload("res", "res-debug"))));
  ASSERT_TRUE(AttachTrailer(both, BuildTrailer(Payload("old", "old-debug"))));
  std::string v440 = ProbeCopy("v440.dll");
  ASSERT_TRUE(AttachResource(v440, BuildResourceBlock(Payload("raw", "raw-debug"), 440)));

  TVantorModuleInfo* n = Register(none);
  ASSERT_TRUE(n);
  EXPECT_EQ(n->DataVersion, kLibraryDataVersion);
  EXPECT_FALSE(n->DebugInfo);
  EXPECT_EQ(Fake(n->Options)->Text, "defaults");
  EXPECT_EQ(Fake(n->Options)->ModuleName, n->FileName);

  TVantorModuleInfo* r = Register(resource);
  ASSERT_TRUE(r);
  EXPECT_TRUE(modules::IsVantorLogModule(r->Handle));
  EXPECT_FALSE(modules::IsVantorLogModule_Old(r->Handle));
  EXPECT_EQ(r->DataVersion, 454);
  EXPECT_EQ(r->Reserved1, 5);
  EXPECT_EQ(r->Reserved2, 6);
  EXPECT_EQ(Fake(r->Options)->Text, "res");
  EXPECT_EQ(DebugText(*r), "res-debug");

  TVantorModuleInfo* t = Register(trailer);
  ASSERT_TRUE(t);
  EXPECT_FALSE(modules::IsVantorLogModule(t->Handle));
  EXPECT_TRUE(modules::IsVantorLogModule_Old(t->Handle));
  EXPECT_EQ(t->DataVersion, 452);
  EXPECT_EQ(t->Reserved1, 7);
  EXPECT_EQ(t->Reserved2, 8);
  EXPECT_EQ(Fake(t->Options)->Text, "old");
  EXPECT_EQ(DebugText(*t), "old-debug");

  TVantorModuleInfo* b = Register(both);
  ASSERT_TRUE(b);
  EXPECT_EQ(Fake(b->Options)->Text, "res");
  EXPECT_EQ(DebugText(*b), "res-debug");

  TVantorModuleInfo* v = Register(v440);
  ASSERT_TRUE(v);
  EXPECT_EQ(v->DataVersion, 440);
  EXPECT_EQ(DebugText(*v), "raw-debug");

  // B = 100: the version is read 108 bytes before the end of the file.
  std::string b100 = ProbeCopy("b100.dll");
  TBytes payload = Payload("o", std::string(81, 'z'));
  ASSERT_EQ(payload.size(), 90u);
  ASSERT_TRUE(AttachTrailer(b100, BuildTrailer(payload, 0x0102)));
  TVantorModuleInfo* h = Register(b100);
  ASSERT_TRUE(h);
  EXPECT_EQ(h->DataVersion, 0x0102);
  EXPECT_EQ(DebugText(*h), std::string(81, 'z'));
}

TEST_F(ModuleBlock, DamagedBlocksAndUnreadableFilesMeanNoBlock) {
  TBytes good = BuildResourceBlock(Payload("opts", "debug"), 440);
  TBytes longL = good;
  longL[good.size() - 5 - 4 + 3] = 0x40;  // L = 0x40000005: far beyond the resource

  TBytes packed = BuildResourceBlock(Payload("opts", std::string(3000, 'd')));
  TBytes cut(packed.begin(), packed.end() - 40);  // the zlib stream never reaches its end

  TBytes trailer = BuildTrailer(Payload("opts", "debug"));
  TBytes hugeB = trailer;
  hugeB[trailer.size() - 8 + 3] = 0x7F;  // B larger than the file
  TBytes negativeB = trailer;
  negativeB[trailer.size() - 8 + 3] = 0xFF;  // B negative

  struct Case {
    const char* name;
    bool resource;
    TBytes bytes;
  };
  for (const Case& c : {Case{"longL.dll", true, longL}, Case{"cut.dll", true, cut},
                        Case{"hugeB.dll", false, hugeB}, Case{"negB.dll", false, negativeB}}) {
    std::string path = ProbeCopy(c.name);
    ASSERT_TRUE(c.resource ? AttachResource(path, c.bytes) : AttachTrailer(path, c.bytes));
    TVantorModuleInfo* info = Register(path);
    ASSERT_TRUE(info) << c.name << ": still registered";
    EXPECT_EQ(info->DataVersion, kLibraryDataVersion) << c.name;
    EXPECT_EQ(info->Reserved1, 0) << c.name;
    EXPECT_FALSE(info->DebugInfo) << c.name;
    EXPECT_EQ(info->ModuleType, modules::mtLibrary) << c.name;
    // longL's options read well before its length fails: a refused block leaves none behind.
    EXPECT_EQ(Fake(info->Options)->Text, "defaults") << c.name;
  }

  // A module whose file is gone since it was loaded: the trailer test cannot open it.
  std::string moved = ProbeCopy("moved.dll");
  HMODULE module = LoadLibraryA(moved.c_str());
  ASSERT_TRUE(module);
  loaded_.push_back(module);
  DeleteFileA((moved + ".away").c_str());
  ASSERT_TRUE(MoveFileA(moved.c_str(), (moved + ".away").c_str()));
  EXPECT_THROW(modules::IsVantorLogModule_Old(module), EFOpenError);
  TVantorModuleInfo* info = modules::GetModuleInfo(module);
  ASSERT_TRUE(info) << "registration goes on without the file";
  EXPECT_FALSE(info->DebugInfo);
  EXPECT_NE(modules::LastLoadFailure().find("Cannot open file"), std::string::npos)
      << modules::LastLoadFailure();
  EXPECT_EQ(info->FileSize, 0) << "the file is not found";
}

// The data-block routines trace like every routine of the crash reporter: entry with the
// arguments in parentheses and quotes (indentation +2), exit with "=" and the result (-2).
TEST_F(ModuleBlock, TheTraceNamesEachStepAndWhyABlockWasRefused) {
  std::string path = ProbeCopy("traced.dll");
  TBytes block = BuildResourceBlock(Payload("o", "d"), 440);
  block.resize(block.size() - 1);
  ASSERT_TRUE(AttachResource(path, block));

  core::ClearTrace();
  core::SetTraceSwitches({true, false, false});
  TVantorModuleInfo* info = Register(path);
  std::vector<std::string> lines = core::TraceLines();
  const std::string indentAfter = core::TraceIndent();
  core::SetTraceSwitches({});
  core::ClearTrace();
  ASSERT_TRUE(info);

  std::string all = "\n";
  for (const std::string& line : lines) all += line.substr(19) + "\n";  // without the time
  const std::string file = "('" + info->FileName + "')";
  EXPECT_NE(all.find("\nLoadDebugInformation" + file + "\n  IsVantorLogModule" + file +
                     "\n  IsVantorLogModule=(True)\n"),
            std::string::npos)
      << all;
  EXPECT_NE(all.find("\n  LoadDebugInformation: resource block: debug information: 1 bytes needed"),
            std::string::npos)
      << all;
  EXPECT_NE(all.find("\nLoadDebugInformation=(False)\n"), std::string::npos) << all;
  EXPECT_EQ(indentAfter, "");
}

TEST_F(ModuleBlock, PublishedOptionsOverrideTheBlockOnlyWhenFlagged) {
  TBytes block = BuildResourceBlock(Payload("from-block", "dbg"));
  std::string flagged = ProbeCopy("published1.dll");
  std::string unflagged = ProbeCopy("published0.dll");
  ASSERT_TRUE(AttachResource(flagged, block));
  ASSERT_TRUE(AttachResource(unflagged, block));

  struct Case {
    std::string path;
    uint8_t flag;
    const char* expected;
  };
  for (const Case& c : {Case{flagged, 1, "from-module"}, Case{unflagged, 0, "from-block"}}) {
    HMODULE module = LoadLibraryA(c.path.c_str());
    ASSERT_TRUE(module);
    loaded_.push_back(module);
    TBytes published = {c.flag};
    TBytes options = FakeOptions("from-module");
    published.insert(published.end(), options.begin(), options.end());
    uint8_t* data = nullptr;
    HANDLE file =
        publishing::CreateVirtualFile(module, publishing::kModuleFileName, published.size(), data);
    ASSERT_TRUE(file);
    std::copy(published.begin(), published.end(), data);

    TVantorModuleInfo* info = modules::GetModuleInfo(module);
    ASSERT_TRUE(info);
    EXPECT_EQ(Fake(info->Options)->Text, c.expected) << int(c.flag);
    EXPECT_EQ(DebugText(*info), "dbg");
    publishing::DeleteVirtualFile(file, data);
  }
}
