// The readers against real PE files that the MinGW cross compilers built from samples/ with
// DWARF 2 (line tables of version 3), 4 and 5, for i686 and x86_64. Expected lines come from
// the LINE-MARK comments in the sample sources.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>

#include "support/source_marker.h"
#include "tools/debug_model.h"

using namespace vl;

using namespace vl::tools;
using testsupport::MarkerLine;

namespace {

struct Sample {
  const char* Arch;
  int Dwarf;
  bool Is64;
};

std::string SamplePath(const Sample& sample) {
  return std::string(VL_SAMPLE_OUT) + "/sample_" + sample.Arch + "_dwarf" +
         std::to_string(sample.Dwarf) + ".exe";
}

class RealPe : public testing::TestWithParam<Sample> {
 protected:
  // Each sample is read once for all tests.
  void SetUp() override {
    static std::map<std::string, std::pair<std::unique_ptr<PeImage>, DebugModel>> cache;
    auto& entry = cache[SamplePath(GetParam())];
    if (!entry.first) {
      entry.first = std::make_unique<PeImage>(PeImage::Load(SamplePath(GetParam())));
      entry.second = BuildDebugModel(*entry.first);
    }
    image_ = entry.first.get();
    model_ = &entry.second;
  }

  const FunctionInfo& Function(const std::string& qualified) {
    for (const FunctionInfo& function : model_->Functions) {
      if (function.QualifiedName == qualified) return function;
    }
    ADD_FAILURE() << "no function " << qualified;
    static FunctionInfo none;
    return none;
  }

  // Whether some address of the function's code resolves to the unit and line.
  bool CodeOfFunctionReaches(const FunctionInfo& function, const std::string& unit, uint32_t line) {
    for (uint32_t rva = function.Address; rva < function.Address + function.Size; ++rva) {
      SourceLocation location = Locate(*model_, rva);
      if (location.Unit && location.Unit->Name == unit && location.Line == line) return true;
    }
    return false;
  }

  const PeImage* image_ = nullptr;
  const DebugModel* model_ = nullptr;
};

TEST_P(RealPe, HeaderAndLongSectionNames) {
  EXPECT_EQ(image_->Is64(), GetParam().Is64);
  EXPECT_EQ(model_->ImageBase, GetParam().Is64 ? 0x140000000u : 0x400000u);
  // Names longer than eight characters come from the COFF string table.
  for (const char* name : {".text", ".debug_info", ".debug_abbrev", ".debug_line"}) {
    ASSERT_NE(image_->Find(name), nullptr) << name;
  }
  EXPECT_FALSE(image_->Data(".debug_info").Empty());
  const PeSection* text = image_->Find(".text");
  EXPECT_TRUE(text->IsCode());
  EXPECT_EQ(text->VirtualAddress, 0x1000u);
  EXPECT_FALSE(image_->Find(".debug_info")->IsCode());
}

TEST_P(RealPe, FunctionEntriesResolveToTheirSourceLine) {
  struct Expected {
    const char* Qualified;
    const char* Unit;
    const char* Marker;
  };
  for (const Expected& expected : {
           Expected{"Forms.TApplication.HandleException", "widget.cpp", "handle-entry"},
           Expected{"outer.inner.Counter.Add", "widget.cpp", "add-entry"},
           Expected{"(anonymous namespace).Hidden", "widget.cpp", "hidden-entry"},
           Expected{"Compute", "widget.cpp", "compute-entry"},
           Expected{"helpers.Square", "main.cpp", "square-entry"},
           Expected{"helpers.Larger<int>", "main.cpp", "larger-entry"},
           Expected{"outer.Shell.Inner.Get", "widget.cpp", "inner-get-entry"},
           Expected{"main", "main.cpp", "main-entry"},
       }) {
    SCOPED_TRACE(expected.Qualified);
    const FunctionInfo& function = Function(expected.Qualified);
    ASSERT_GT(function.Size, 0u);
    SourceLocation location = Locate(*model_, function.Address);
    ASSERT_NE(location.Unit, nullptr);
    EXPECT_EQ(location.Unit->Name, expected.Unit);
    EXPECT_EQ(location.Line, MarkerLine(VL_SAMPLE_DIR, expected.Unit, expected.Marker));
    EXPECT_EQ(location.Function, &function);
    // The last byte of the function still belongs to it.
    EXPECT_EQ(Locate(*model_, function.Address + function.Size - 1).Function, &function);
  }
  // A statement inside the body.
  EXPECT_TRUE(CodeOfFunctionReaches(Function("Forms.TApplication.HandleException"), "widget.cpp",
                                    MarkerLine(VL_SAMPLE_DIR, "widget.cpp", "handle-body")));
}

TEST_P(RealPe, HeaderCodeBelongsToTheHeaderUnit) {
  // Twice() is always inlined into Compute(): that code is the header's.
  const uint32_t twice = MarkerLine(VL_SAMPLE_DIR, "widget.h", "twice-body");
  EXPECT_TRUE(CodeOfFunctionReaches(Function("Compute"), "widget.h", twice));
  // Title() is defined in the class body and kept out of line: a function of the header unit.
  const FunctionInfo& title = Function("Forms.TApplication.Title");
  SourceLocation location = Locate(*model_, title.Address);
  ASSERT_NE(location.Unit, nullptr);
  EXPECT_EQ(location.Unit->Name, "widget.h");
  EXPECT_TRUE(CodeOfFunctionReaches(title, "widget.h",
                                    MarkerLine(VL_SAMPLE_DIR, "widget.h", "title-body")));
  // Nothing of the sample's own code lands in a unit of another file.
  for (const char* name : {"main.cpp", "widget.cpp", "widget.h"}) {
    int units = 0;
    for (const SourceUnit& unit : model_->Units) units += unit.Name == name;
    EXPECT_EQ(units, 1) << name;
  }
}

TEST_P(RealPe, NamesSplitIntoClassAndProcedure) {
  const FunctionInfo& handler = Function("Forms.TApplication.HandleException");
  EXPECT_EQ(handler.ClassName, "Forms.TApplication");
  EXPECT_EQ(handler.ProcedureName, "HandleException");
  const FunctionInfo& add = Function("outer.inner.Counter.Add");
  EXPECT_EQ(add.ClassName, "outer.inner.Counter");
  EXPECT_EQ(add.ProcedureName, "Add");
  EXPECT_EQ(Function("outer.Shell.Inner.Get").ClassName, "outer.Shell.Inner");
  // Free functions keep their namespace as the class part.
  EXPECT_EQ(Function("helpers.Square").ClassName, "helpers");
  EXPECT_EQ(Function("Compute").ClassName, "");
  EXPECT_EQ(Function("Compute").ProcedureName, "Compute");
  // The constructor is named after its class.
  EXPECT_EQ(Function("Forms.TApplication.TApplication").ProcedureName, "TApplication");

  std::map<std::string, uint32_t> index;
  for (const NameIndexEntry& entry : model_->NameIndex) index[entry.QualifiedName] = entry.Address;
  ASSERT_EQ(index.count("Forms.TApplication.HandleException"), 1u);
  EXPECT_EQ(index["Forms.TApplication.HandleException"], handler.Address);
  EXPECT_EQ(index["outer.inner.Counter.Add"], add.Address);
  EXPECT_EQ(index.count("main"), 1u);
  // The start-up code (MinGW's own objects, DWARF 5 in every build) is read too.
  EXPECT_EQ(index.count("mainCRTStartup"), 1u);
}

TEST_P(RealPe, UnitsAreDisjointAndOrdered) {
  ASSERT_FALSE(model_->Units.empty());
  std::vector<RvaRange> all;
  for (const SourceUnit& unit : model_->Units) {
    SCOPED_TRACE(unit.Path);
    EXPECT_EQ(unit.Name, BaseName(unit.Path));
    ASSERT_FALSE(unit.Ranges.empty());
    ASSERT_FALSE(unit.Lines.empty());
    EXPECT_EQ(unit.Lines.front().Address, unit.Ranges.front().Begin);
    for (size_t i = 1; i < unit.Lines.size(); ++i) {
      EXPECT_LT(unit.Lines[i - 1].Address, unit.Lines[i].Address);
    }
    for (size_t i = 0; i < unit.Ranges.size(); ++i) {
      EXPECT_LT(unit.Ranges[i].Begin, unit.Ranges[i].End);
      if (i) {
        EXPECT_LT(unit.Ranges[i - 1].End, unit.Ranges[i].Begin);
      }
      all.push_back(unit.Ranges[i]);
      // Every range starts with a line entry.
      bool found = false;
      for (const UnitLine& line : unit.Lines) found |= line.Address == unit.Ranges[i].Begin;
      EXPECT_TRUE(found);
    }
  }
  std::sort(all.begin(), all.end(),
            [](const RvaRange& a, const RvaRange& b) { return a.Begin < b.Begin; });
  for (size_t i = 1; i < all.size(); ++i) EXPECT_LE(all[i - 1].End, all[i].Begin);
  for (size_t i = 1; i < model_->Units.size(); ++i) {
    EXPECT_LT(model_->Units[i - 1].Ranges.front().Begin, model_->Units[i].Ranges.front().Begin);
  }
  for (const FunctionInfo& function : model_->Functions) {
    const PeSection* section = image_->CodeSectionAt(function.Address);
    ASSERT_NE(section, nullptr) << function.QualifiedName;
    EXPECT_LE(function.Address + function.Size, section->VirtualAddress + section->VirtualSize);
  }
}

TEST_P(RealPe, LineTableVersions) {
  DwarfSections sections = DwarfSections::FromPe(*image_);
  DwarfInfo info = ReadDwarfInfo(sections);
  std::set<uint16_t> versions;
  for (const DwarfUnit& unit : info.Units) {
    if (!unit.HasLineTable) continue;
    LineTable table = ReadLineTable(sections, unit.LineOffset, unit.CompDir, unit.AddressSize);
    EXPECT_EQ(unit.AddressSize, GetParam().Is64 ? 8u : 4u);
    if (BaseName(unit.Name) == "main.cpp") {
      EXPECT_EQ(table.Version, GetParam().Dwarf == 2 ? 3 : GetParam().Dwarf);
      EXPECT_EQ(unit.Version, GetParam().Dwarf);
      // The primary file resolves against the compilation directory to the real source.
      bool found = false;
      for (const std::string& file : table.Files) {
        found |= file == NormalizePath(std::string(VL_SAMPLE_SOURCE_DIR) + "/main.cpp");
      }
      EXPECT_TRUE(found);
    }
    versions.insert(table.Version);
  }
  // The start-up objects carry DWARF 5 whatever the program was built with.
  EXPECT_EQ(versions.count(5), 1u);
}

INSTANTIATE_TEST_SUITE_P(Samples, RealPe,
                         testing::Values(Sample{"i686", 4, false}, Sample{"i686", 5, false},
                                         Sample{"i686", 2, false}, Sample{"x86_64", 4, true},
                                         Sample{"x86_64", 5, true}),
                         [](const testing::TestParamInfo<Sample>& info) {
                           return std::string(info.param.Arch) + "_dwarf" +
                                  std::to_string(info.param.Dwarf);
                         });

TEST(Paths, Normalization) {
  EXPECT_EQ(NormalizePath("/a/b/../c/./d.h"), "/a/c/d.h");
  EXPECT_EQ(NormalizePath("C:\\src\\x\\..\\y.cpp"), "C:/src/y.cpp");
  EXPECT_EQ(NormalizePath("a//b/"), "a/b");
  EXPECT_EQ(NormalizePath("../x.h"), "../x.h");
  EXPECT_EQ(NormalizePath("/../x.h"), "/x.h");
  EXPECT_EQ(JoinPath("/build", "src/a.cpp"), "/build/src/a.cpp");
  EXPECT_EQ(JoinPath("/build", "/usr/include/x.h"), "/usr/include/x.h");
  EXPECT_EQ(JoinPath("/build", "D:\\x.h"), "D:\\x.h");
  EXPECT_EQ(BaseName("C:\\src\\launcher.cpp"), "launcher.cpp");
  EXPECT_EQ(BaseName("/a/b/widget.h"), "widget.h");
}

}  // namespace
