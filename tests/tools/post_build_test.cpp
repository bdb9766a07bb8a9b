// The post-build step on real PE files that the MinGW cross compilers built from samples/: the
// table it writes decodes, through the crash reporter's own lookups, to what the DWARF says;
// the block goes into the placeholder or the trailer without moving anything and dumps back.
#include "tools/post_build.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "datablock/data_block_format.h"
#include "datablock/data_block_reader.h"
#include "debuginfo/debug_table.h"
#include "debuginfo/name_index.h"
#include "debuginfo/source_lookup.h"
#include "support/source_marker.h"
#include "tools/options_ini.h"
#include "tools/pe_resource.h"

using namespace vl;

using namespace vl::tools;
using testsupport::MarkerLine;

namespace {

constexpr uint16_t kVersion = 454;

std::string SamplePath(const std::string& name) { return std::string(VL_SAMPLE_OUT) + "/" + name; }

struct Decoded {
  bool Found = false;
  vl::TSourceLocation At;
};

Decoded Decode(const std::vector<uint8_t>& bytes, uint32_t rva) {
  Decoded d;
  d.Found = vl::FindSourceLocation(bytes.data(), bytes.size(), kVersion, int64_t{rva} - 4096, d.At);
  return d;
}

class SampleTable : public testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    image_ = std::make_unique<PeImage>(PeImage::Load(SamplePath(GetParam())));
    model_ = BuildDebugModel(*image_);
    bytes_ = vl::WriteDebugTable(BuildDebugTable(model_), kVersion);
  }
  const FunctionInfo& Function(const std::string& qualified) {
    for (const FunctionInfo& f : model_.Functions) {
      if (f.QualifiedName == qualified) return f;
    }
    ADD_FAILURE() << "no function " << qualified;
    static FunctionInfo none;
    return none;
  }

  std::unique_ptr<PeImage> image_;
  DebugModel model_;
  std::vector<uint8_t> bytes_;
};

// Every address where the model's line changes decodes to the model's unit, line, class and
// procedure (the smallest function holding it), as does the byte before the next change.
TEST_P(SampleTable, EveryLineStepDecodesAsTheModelSays) {
  size_t checked = 0;
  for (const SourceUnit& unit : model_.Units) {
    for (size_t i = 0; i < unit.Lines.size(); ++i) {
      for (uint32_t rva : {unit.Lines[i].Address, unit.Lines[i].Address + 1}) {
        SourceLocation want = Locate(model_, rva);
        if (!want.Unit) continue;
        Decoded got = Decode(bytes_, rva);
        ASSERT_TRUE(got.Found) << std::hex << rva;
        EXPECT_EQ(got.At.UnitName, want.Unit->Name) << std::hex << rva;
        EXPECT_EQ(static_cast<uint32_t>(got.At.LineNumber), want.Line) << std::hex << rva;
        if (want.Function) {
          std::string name = RecordName(want.Function->ClassName, want.Function->ProcedureName);
          EXPECT_EQ(got.At.ClassName.empty() ? got.At.ProcedureName
                                             : got.At.ClassName + "." + got.At.ProcedureName,
                    name)
              << std::hex << rva;
        }
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 100u);
}

TEST_P(SampleTable, KnownRoutinesByAddressAndByName) {
  const FunctionInfo& handle = Function("Forms.TApplication.HandleException");
  Decoded got = Decode(bytes_, handle.Address);
  EXPECT_EQ(got.At.UnitName, "widget.cpp");
  EXPECT_EQ(got.At.ClassName, "Forms.TApplication");
  EXPECT_EQ(got.At.ProcedureName, "HandleException");
  EXPECT_EQ(static_cast<uint32_t>(got.At.LineNumber),
            MarkerLine(VL_SAMPLE_DIR, "widget.cpp", "handle-entry"));
  int32_t offset = 0;
  ASSERT_TRUE(vl::FindNameIndexOffset(bytes_.data(), bytes_.size(), kVersion,
                                      "Forms.TApplication.HandleException", offset));
  EXPECT_EQ(offset, static_cast<int32_t>(handle.Address) - 4096);

  const FunctionInfo& get = Function("outer.Shell.Inner.Get");
  got = Decode(bytes_, get.Address);
  EXPECT_EQ(got.At.ClassName, "outer.Shell.Inner");
  EXPECT_EQ(got.At.ProcedureName, "Get");
  const FunctionInfo& square = Function("helpers.Square");
  got = Decode(bytes_, square.Address + square.Size - 1);
  EXPECT_EQ(got.At.UnitName, "main.cpp");
  EXPECT_EQ(got.At.ProcedureName, "Square");
  EXPECT_EQ(got.At.ClassName, "helpers");
}

// Twice() is always inlined into Compute(): its code lies inside Compute but is the header's.
TEST_P(SampleTable, InlinedHeaderCodeDecodesToTheHeader) {
  const FunctionInfo& compute = Function("Compute");
  bool seen = false;
  for (uint32_t rva = compute.Address; rva < compute.Address + compute.Size; ++rva) {
    Decoded got = Decode(bytes_, rva);
    ASSERT_TRUE(got.Found);
    if (got.At.UnitName != "widget.h") continue;
    seen = true;
    EXPECT_EQ(static_cast<uint32_t>(got.At.LineNumber),
              MarkerLine(VL_SAMPLE_DIR, "widget.h", "twice-body"));
    EXPECT_EQ(got.At.ProcedureName, "Compute");
  }
  EXPECT_TRUE(seen);
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleTable,
                         testing::Values("sample_i686_dwarf2.exe", "sample_i686_dwarf4.exe",
                                         "sample_i686_dwarf5.exe", "sample_x86_64_dwarf4.exe",
                                         "sample_x86_64_dwarf5.exe"));

TEST(RecordName, LongNamesAreShortenedAndStillSplitAtTheirLastDot) {
  EXPECT_EQ(RecordName("a.B", "c"), "a.B.c");
  EXPECT_EQ(RecordName("", "f"), "f");
  EXPECT_EQ(RecordName("ns", "odd.name"), "ns.odd_name");
  std::string cls(300, 'C');
  std::string name = RecordName("ns." + cls, "Run");
  EXPECT_EQ(name.size(), kMaxStoredName);
  EXPECT_EQ(name.substr(name.size() - 4), ".Run");
  EXPECT_EQ(name.substr(0, 4), "ns.C");
  name = RecordName("K", std::string(400, 'p'));
  EXPECT_EQ(name.size(), kMaxStoredName);
  EXPECT_EQ(name.substr(0, 2), "K.");
  EXPECT_EQ(RecordName("", std::string(400, 'p')).size(), kMaxStoredName);
  EXPECT_EQ(RecordName(std::string(300, 'C'), std::string(300, 'p')).size(), kMaxStoredName);
  name = RecordName(std::string(100, 'C'), std::string(400, 'p'));
  EXPECT_EQ(name.size(), kMaxStoredName);
  EXPECT_EQ(name.substr(name.size() - 202, 2), "C.");

  // A table with such names is written and decodes to the shortened names.
  DebugModel model;
  model.Units.push_back({"long.cpp", "/src/long.cpp", {{0x1000, 0x1010}}, {{0x1000, 5}}});
  model.Functions.push_back({0x1000, 0x10, "ns." + cls, "Run", "ns." + cls + ".Run"});
  model.NameIndex.push_back({"ns." + cls + ".Run", 0x1000});
  TableStatistics stats;
  vl::TDebugTable table = BuildDebugTable(model, &stats);
  EXPECT_EQ(stats.DroppedNames, 1u);
  EXPECT_TRUE(table.Index.empty());
  std::vector<uint8_t> bytes = vl::WriteDebugTable(table, kVersion);
  Decoded got = Decode(bytes, 0x1008);
  ASSERT_TRUE(got.Found);
  EXPECT_EQ(got.At.ProcedureName, "Run");
  EXPECT_EQ(got.At.ClassName.size(), kMaxStoredName - 4);
}

std::vector<uint8_t> Options(const std::string& iniPath) {
  TVantorModuleOptions options("", false);
  if (!iniPath.empty()) {
    std::vector<uint8_t> text = ReadFileBytes(iniPath);
    ApplyOptionsIni(std::string(text.begin(), text.end()), iniPath, options);
  }
  core::TMemoryStream stream;
  options.SaveToStream(stream);
  return stream.Data();
}

// The options part of a dump (up to the units) read back as an options file.
std::vector<uint8_t> DumpedOptions(const std::string& dump) {
  TVantorModuleOptions options("", false);
  ApplyOptionsIni(dump.substr(0, dump.find("[Units]")), "dump", options);
  core::TMemoryStream stream;
  options.SaveToStream(stream);
  return stream.Data();
}

std::string WriteIni(const std::string& text) {
  std::string path = testing::TempDir() + "post_build_test.ini";
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// Only the placeholder's bytes and its size field differ; headers and sections are the same.
void ExpectOnlyPlaceholderChanged(const std::vector<uint8_t>& before,
                                  const std::vector<uint8_t>& after) {
  ASSERT_EQ(before.size(), after.size());
  PeImage a(before), b(after);
  ResourceLocation was, now;
  ASSERT_TRUE(FindRcData(a, datablock::kResourceName, was));
  ASSERT_TRUE(FindRcData(b, datablock::kResourceName, now));
  EXPECT_EQ(now.DataOffset, was.DataOffset);
  EXPECT_LT(now.Size, was.Size);
  EXPECT_EQ(a.EntryPoint(), b.EntryPoint());
  for (size_t i = 0; i < before.size(); ++i) {
    bool inData = i >= was.DataOffset && i < was.DataOffset + was.Size;
    bool inSize = i >= was.DataEntryOffset + 4 && i < was.DataEntryOffset + 8;
    if (!inData && !inSize) {
      ASSERT_EQ(before[i], after[i]) << "byte " << i;
    }
  }
}

class Placeholder : public testing::TestWithParam<const char*> {};

TEST_P(Placeholder, ResourceFormFillsThePlaceholderAndDumpsBack) {
  std::vector<uint8_t> before = ReadFileBytes(SamplePath(GetParam()));
  std::string ini = WriteIni("MailSubject=Placeholder\nLog/Type#2=\"OS\\tkind\"\nTellUser=no\n");
  AttachResult result;
  std::vector<uint8_t> after = AttachBlock(before, ini, BlockForm::Resource, result);
  ExpectOnlyPlaceholderChanged(before, after);
  EXPECT_EQ(result.PlaceholderSize, 65536u);
  EXPECT_GT(result.DwarfSize, result.BlockSize);

  std::string dump = DumpBlock(after, true);
  EXPECT_NE(dump.find("resource form, version 454"), std::string::npos);
  EXPECT_EQ(DumpedOptions(dump), Options(ini));
  EXPECT_NE(dump.find(" widget.cpp\n"), std::string::npos);
  EXPECT_NE(
      dump.find(" line " + std::to_string(MarkerLine(VL_SAMPLE_DIR, "widget.cpp", "handle-entry")) +
                " Forms.TApplication.HandleException\n"),
      std::string::npos);

  // Attaching again over the patched module gives the same file.
  std::vector<uint8_t> again = AttachBlock(after, ini, BlockForm::Resource, result);
  EXPECT_EQ(again, after);
}

TEST_P(Placeholder, BlockLargerThanThePlaceholderIsRefused) {
  std::vector<uint8_t> bytes = ReadFileBytes(SamplePath(GetParam()));
  ResourceLocation at;
  ASSERT_TRUE(FindRcData(PeImage(bytes), datablock::kResourceName, at));
  uint32_t small = 100;
  std::memcpy(bytes.data() + at.DataEntryOffset + 4, &small, 4);
  AttachResult result;
  try {
    AttachBlock(bytes, "", BlockForm::Resource, result);
    FAIL() << "no error";
  } catch (const EPostBuildError& e) {
    EXPECT_NE(std::string(e.what()).find("holds 100"), std::string::npos) << e.what();
  }
}

// The trailer form over a module whose placeholder already holds a block: the resource would
// win at run time, so it is cleared.
TEST_P(Placeholder, TrailerClearsABlockInThePlaceholder) {
  std::vector<uint8_t> before = ReadFileBytes(SamplePath(GetParam()));
  AttachResult result;
  std::vector<uint8_t> patched = AttachBlock(before, "", BlockForm::Resource, result);
  std::string ini = WriteIni("MailSubject=Trailer\n");
  std::vector<uint8_t> after = AttachBlock(patched, ini, BlockForm::Trailer, result);
  ResourceLocation at;
  ASSERT_TRUE(FindRcData(PeImage(after), datablock::kResourceName, at));
  EXPECT_FALSE(datablock::HasResourceMagic(after.data() + at.DataOffset, at.Size));
  std::string dump = DumpBlock(after, false);
  EXPECT_NE(dump.find("trailer form"), std::string::npos) << dump.substr(0, 200);
  EXPECT_EQ(DumpedOptions(dump), Options(ini));
}

// The module is written beside itself and renamed over: when the new file cannot be written,
// the module stays whole.
TEST_P(Placeholder, AFailedWriteLeavesTheModuleWhole) {
  const std::string module = testing::TempDir() + "post_build_write_" + GetParam();
  const std::vector<uint8_t> original = ReadFileBytes(SamplePath(GetParam()));
  std::ofstream(module, std::ios::binary)
      .write(reinterpret_cast<const char*>(original.data()),
             static_cast<std::streamsize>(original.size()));
  std::filesystem::remove_all(module + ".vlnew");
  std::filesystem::create_directory(module + ".vlnew");  // the new file cannot be made
  EXPECT_THROW(AttachBlockToFile(module, "", BlockForm::Resource), EPostBuildError);
  EXPECT_EQ(ReadFileBytes(module), original);

  std::filesystem::remove_all(module + ".vlnew");
  AttachBlockToFile(module, "", BlockForm::Resource);
  EXPECT_NE(DumpBlock(ReadFileBytes(module), false).find("resource form"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(module + ".vlnew"));
  std::filesystem::remove(module);
}

INSTANTIATE_TEST_SUITE_P(Samples, Placeholder,
                         testing::Values("placeholder_i686.exe", "placeholder_x86_64.exe"));

TEST(TrailerForm, AppendsOnceAndDumpsBack) {
  std::vector<uint8_t> before = ReadFileBytes(SamplePath("sample_x86_64_dwarf5.exe"));
  AttachResult result;
  // Without a placeholder only the trailer form is possible.
  EXPECT_THROW(AttachBlock(before, "", BlockForm::Resource, result), EPostBuildError);
  std::vector<uint8_t> after = AttachBlock(before, "", BlockForm::Trailer, result);
  ASSERT_EQ(after.size(), before.size() + result.BlockSize);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), after.begin()));
  // A second run replaces the trailer instead of stacking another one.
  std::string ini = WriteIni("MailMode=mmDirect\n");
  std::vector<uint8_t> again = AttachBlock(after, ini, BlockForm::Trailer, result);
  EXPECT_EQ(again.size(), before.size() + result.BlockSize);
  std::string dump = DumpBlock(again, false);
  EXPECT_NE(dump.find("trailer form, version 454"), std::string::npos);
  EXPECT_NE(dump.find("MailMode=mmDirect\n"), std::string::npos);
  EXPECT_EQ(DumpedOptions(dump), Options(ini));
  EXPECT_EQ(dump.find(" line "), std::string::npos);  // no line table unless asked
  EXPECT_THROW(DumpBlock(before, false), EPostBuildError);
}

TEST(TrailerForm, BadOptionsFileStopsTheStepWithItsLine) {
  std::vector<uint8_t> before = ReadFileBytes(SamplePath("sample_i686_dwarf4.exe"));
  std::string ini = WriteIni("[Options]\nMailMode=mmDirect\nMailMode=mmNone\n");
  AttachResult result;
  try {
    AttachBlock(before, ini, BlockForm::Trailer, result);
    FAIL() << "no error";
  } catch (const EOptionsIniError& e) {
    EXPECT_EQ(std::string(e.what()), ini + "(3): \"MailMode\" is already set on line 2");
  }
}

}  // namespace
