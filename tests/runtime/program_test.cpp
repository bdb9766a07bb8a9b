// The runtime's error road, run for real: a program whose main block fails shows the
// "Application Error" box and exits with code 1.
#include <gtest/gtest.h>

#include <regex>

#include "support/win_process.h"

using testsupport::BoxText;
using testsupport::ChildProcess;

namespace {

std::string Program() { return testsupport::ExeFolder() + "raising_program.exe"; }

struct Outcome {
  bool boxShown;
  BoxText box;
  DWORD exitCode;
};

Outcome RunProgramWith(const std::string& mode) {
  ChildProcess child("\"" + Program() + "\" " + mode);
  EXPECT_TRUE(child.Started());
  Outcome out;
  out.boxShown = child.DismissBox(out.box);
  out.exitCode = child.Wait();
  return out;
}

}  // namespace

TEST(ErrorBox, LanguageErrorEscapingTheMainBlock) {
  Outcome out = RunProgramWith("raise");
  ASSERT_TRUE(out.boxShown);
  EXPECT_EQ(out.box.caption, "Application Error");
  EXPECT_TRUE(std::regex_match(
      out.box.text,
      std::regex("Exception EConvertError in module raising_program\\.exe at [0-9A-F]{8,16}\\.\r\n"
                 "'12x' is not a valid integer value\\.\r\n")))
      << out.box.text;
  EXPECT_EQ(out.exitCode, 1u);
}

TEST(ErrorBox, MessageEndingInAFullStopGetsNoSecondOne) {
  Outcome out = RunProgramWith("std");
  ASSERT_TRUE(out.boxShown);
  EXPECT_NE(out.box.text.find("Exception runtime_error in module raising_program.exe at "),
            std::string::npos)
      << out.box.text;
  EXPECT_NE(out.box.text.find(".\r\nplain failure.\r\n"), std::string::npos) << out.box.text;
  EXPECT_EQ(out.exitCode, 1u);
}

TEST(ErrorBox, UnhandledAccessViolationTakesTheSameRoad) {
  Outcome out = RunProgramWith("av");
  ASSERT_TRUE(out.boxShown);
  EXPECT_EQ(out.box.caption, "Application Error");
  EXPECT_TRUE(std::regex_search(
      out.box.text,
      std::regex("^Exception EAccessViolation in module raising_program\\.exe at [0-9A-F]+\\.\r\n"
                 "Access violation at address [0-9A-F]+ in module 'raising_program\\.exe'\\. "
                 "Write of address 0+\\.\r\n$")))
      << out.box.text;
  EXPECT_EQ(out.exitCode, 1u);
}

TEST(ErrorBox, IntegerDivisionByZero) {
  Outcome out = RunProgramWith("div");
  ASSERT_TRUE(out.boxShown);
  EXPECT_NE(out.box.text.find("Exception EDivByZero in module raising_program.exe"),
            std::string::npos)
      << out.box.text;
  EXPECT_NE(out.box.text.find("Division by zero.\r\n"), std::string::npos);
  EXPECT_EQ(out.exitCode, 1u);
}

TEST(ProgramLifetime, UnitsRunAroundTheMainBlockInOrder) {
  std::string log = testsupport::ExeFolder() + "units.log";
  DeleteFileA(log.c_str());
  ChildProcess child("\"" + Program() + "\" ok \"" + log + "\"");
  EXPECT_EQ(child.Wait(), 0u);
  EXPECT_EQ(testsupport::ReadFileText(log),
            "init early\ninit late\nmain\nexit proc\ndone late\ndone early\n");
}
