// The CPU block against golden texts of both widths.
#include "report/cpu_block.h"

#include <gtest/gtest.h>

using namespace vl;

namespace {

report::TCpuFacts Facts(int pointerSize) {
  report::TCpuFacts f;
  f.PointerSize = pointerSize;
  f.HasContext = true;
  for (size_t i = 0; i < 8; ++i) f.Registers[i] = 0x11 * (i + 1);
  f.StackPointer = 0x0012FF00;
  f.ExceptionAddress = 0x00401000;
  for (size_t i = 0; i < report::StackDumpBytes(pointerSize); ++i) {
    f.StackBytes.push_back(static_cast<uint8_t>(i));
  }
  for (size_t i = 0; i < report::CodeDumpBytes; ++i) f.CodeBytes.push_back(static_cast<uint8_t>(i));
  return f;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2) {
    lines.push_back(text.substr(start, at - start));
  }
  EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
  return lines;
}

TEST(CpuBlock, PrintsThe32BitLayout) {
  TVantorModuleOptions options("x.exe", false);
  const std::string text = report::FormatCpuBlock(Facts(4), options);
  const std::vector<std::string> lines = Lines(text);
  ASSERT_EQ(lines.size(), 9u + 16u);
  const char* head[9] = {
      "Registers:",
      "-----------------------------",
      "EAX: 00000011   EDI: 00000022",
      "EBX: 00000033   ESI: 00000044",
      "ECX: 00000055   ESP: 00000066",
      "EDX: 00000077   EIP: 00000088",
      "",
      "Stack:               Memory Dump:",
      "------------------   "
      "---------------------------------------------------------------------------",
  };
  for (size_t i = 0; i < 9; ++i) EXPECT_EQ(lines[i], head[i]);
  EXPECT_EQ(lines[9],
            "0012FF00: 03020100   00401000: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F  "
            "................");
  EXPECT_EQ(lines[11],
            "0012FF08: 0B0A0908   00401020: 20 21 22 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F  "
            " !\"#$%&'()*+,-./");
  EXPECT_EQ(lines[16],
            "0012FF1C: 1F1E1D1C   00401070: 70 71 72 73 74 75 76 77 78 79 7A 7B 7C 7D 7E 7F  "
            "pqrstuvwxyz{|}~.");
  EXPECT_EQ(lines[24],
            "0012FF3C: 3F3E3D3C   004010F0: F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF  "
            "................");
  for (size_t i = 9; i < lines.size(); ++i) EXPECT_EQ(lines[i].size(), 96u) << i;
}

TEST(CpuBlock, PrintsTheX8664TwinWithWiderColumns) {
  TVantorModuleOptions options("x.exe", false);
  report::TCpuFacts f = Facts(8);
  f.StackPointer = 0x000000000022FE00;
  f.ExceptionAddress = 0x0000000140001000;
  const std::vector<std::string> lines = Lines(report::FormatCpuBlock(f, options));
  ASSERT_EQ(lines.size(), 25u);
  EXPECT_EQ(lines[1], std::string(45, '-'));
  EXPECT_EQ(lines[2], "RAX: 0000000000000011   RDI: 0000000000000022");
  EXPECT_EQ(lines[5], "RDX: 0000000000000077   RIP: 0000000000000088");
  EXPECT_EQ(lines[7], "Stack:" + std::string(31, ' ') + "Memory Dump:");
  EXPECT_EQ(lines[8], std::string(34, '-') + "   " + std::string(83, '-'));
  EXPECT_EQ(lines[9],
            "000000000022FE00: 0706050403020100   0000000140001000: 00 01 02 03 04 05 06 07 08 09 "
            "0A 0B 0C 0D 0E 0F  ................");
  EXPECT_EQ(lines[24].substr(0, 34), "000000000022FE78: 7F7E7D7C7B7A7978");
  for (size_t i = 9; i < lines.size(); ++i) EXPECT_EQ(lines[i].size(), 34u + 3u + 83u) << i;
}

TEST(CpuBlock, LeavesOutWhatItCannotShow) {
  TVantorModuleOptions options("x.exe", false);
  struct Case {
    const char* name;
    void (*change)(report::TCpuFacts&);
  } cases[] = {
      {"stack unreadable", [](report::TCpuFacts& f) { f.StackBytes.clear(); }},
      {"stack short", [](report::TCpuFacts& f) { f.StackBytes.pop_back(); }},
      {"code short", [](report::TCpuFacts& f) { f.CodeBytes.resize(255); }},
      {"address 0", [](report::TCpuFacts& f) { f.ExceptionAddress = 0; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    report::TCpuFacts f = Facts(4);
    c.change(f);
    const std::string text = report::FormatCpuBlock(f, options);
    EXPECT_EQ(Lines(text).size(), 9u);
    EXPECT_EQ(report::FormatDumpLines(f), "");
  }
  report::TCpuFacts none = Facts(4);
  none.HasContext = false;
  const std::vector<std::string> lines = Lines(report::FormatCpuBlock(none, options));
  EXPECT_EQ(lines[2], "EAX: ????   EDI: ????");
  EXPECT_EQ(lines[5], "EDX: ????   EIP: ????");
}

}  // namespace
