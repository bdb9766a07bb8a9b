// The capture in real processes: what is notified, how the process ends, and that a program
// without a data block is left exactly as it was.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/win_process.h"

using testsupport::BoxText;
using testsupport::ChildProcess;

namespace {

struct Outcome {
  std::vector<std::string> Lines;
  std::vector<std::string> Notes;
  DWORD ExitCode = 0;
  bool BoxShown = false;
  BoxText Box;
};

Outcome RunCase(const std::string& program, const std::string& scenario) {
  const std::string notes = testsupport::ExeFolder() + program + "-" + scenario + ".notes";
  DeleteFileA(notes.c_str());
  ChildProcess child("\"" + testsupport::ExeFolder() + program + ".exe\" " + scenario + " \"" +
                     notes + "\"");
  EXPECT_TRUE(child.Started());
  Outcome run;
  run.BoxShown = child.DismissBox(run.Box, 3000);
  run.ExitCode = child.Wait();
  std::string text = testsupport::ReadFileText(notes);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    run.Lines.push_back(line);
    if (line.rfind("NOTE ", 0) == 0) run.Notes.push_back(line.substr(5));
    start = end + 1;
  }
  return run;
}

bool Has(const Outcome& run, const std::string& line) {
  for (const auto& l : run.Lines)
    if (l == line) return true;
  return false;
}

#if defined(__x86_64__)
const char* Flags = "00100007";
#else
const char* Flags = "00010007";
#endif

}  // namespace

TEST(CaptureScenario, UnhandledRaisesAreNotifiedOnceAndEndTheProgramQuietly) {
  const struct {
    const char* scenario;
    const char* note;
    DWORD exitCode;
  } rows[] = {
      {"escape", "ECustom|escape", 1},
      {"unitinit", "ECustom|in unit init", 1},
      {"noexcept", "ECustom|in noexcept", 3},
      {"crtthread", "ECustom|crt thread", 3},
  };
  for (const auto& row : rows) {
    Outcome run = RunCase("capture_scenario", row.scenario);
    ASSERT_EQ(run.Notes.size(), 1u) << row.scenario;
    EXPECT_EQ(run.Notes[0], std::string(row.note) + "|" + Flags + "|1|1") << row.scenario;
    EXPECT_EQ(run.ExitCode, row.exitCode) << row.scenario;
    EXPECT_FALSE(run.BoxShown) << row.scenario << ": " << run.Box.text;
    EXPECT_FALSE(Has(run, "CAUGHT")) << row.scenario;
  }
}

TEST(CaptureScenario, APlainThreadsEscapeIsNotifiedAndTheThreadEndsWithZero) {
  Outcome run = RunCase("capture_scenario", "plainthread");
  ASSERT_EQ(run.Notes.size(), 1u);
  EXPECT_EQ(run.Notes[0], std::string("ECustom|plain thread|") + Flags + "|1|1");
  EXPECT_TRUE(Has(run, "THREAD 0"));
  EXPECT_EQ(run.ExitCode, 0u);
}

TEST(CaptureScenario, FaultsAreNotifiedWithTheirContext) {
  const struct {
    const char* scenario;
    const char* className;
  } rows[] = {{"av", "EAccessViolation"}, {"div", "EDivByZero"}};
  for (const auto& row : rows) {
    Outcome run = RunCase("capture_scenario", row.scenario);
    ASSERT_EQ(run.Notes.size(), 1u) << row.scenario;
    EXPECT_EQ(run.Notes[0].substr(0, run.Notes[0].find('|')), row.className);
    EXPECT_NE(run.Notes[0].find(std::string("|") + Flags + "|0|1"), std::string::npos)
        << run.Notes[0];
    EXPECT_EQ(run.ExitCode, 1u) << row.scenario;
    EXPECT_FALSE(run.BoxShown) << row.scenario;
  }
}

// What the program itself handles, or lets pass, is left as it would be without the reporter:
// no notification, no thrown object kept past its catch, no wait for another thread's report.
TEST(CaptureScenario, WhatTheProgramHandlesOrLetsPassIsLeftAlone) {
  const struct {
    const char* scenario;
    const char* line;  // a line the program writes
    const char* note;  // the one notification, or none
    DWORD exitCode;
  } rows[] = {
    {"lifetime", "LIVE 0", nullptr, 0},  // caught, rethrown, rethrown from a pointer
    {"listed", "CAUGHT", nullptr, 0},    // passes throw(A, B) as A
    {"unlisted", "PROLOGUE changed", "runtime_error|not in the list", 3},
#if !defined(__SEH__)  // there libgcc cannot carry on a forced unwind that a guard took
    {"forcedthread", "THREAD 7", nullptr, 0},          // a forced unwind passes the thread's guard
    {"forcedmain", "FORCED UNWIND DONE", nullptr, 7},  // ... and the main block's
#endif
    {"busy", "MAIN CAUGHT FIRST", "ECustom|busy", 0},
  };
  for (const auto& row : rows) {
    Outcome run = RunCase("capture_scenario", row.scenario);
    EXPECT_TRUE(Has(run, row.line)) << row.scenario;
    ASSERT_EQ(run.Notes.size(), row.note ? 1u : 0u) << row.scenario;
    if (row.note) {
      EXPECT_EQ(run.Notes[0], std::string(row.note) + "|" + Flags + "|1|1") << row.scenario;
    }
    EXPECT_EQ(run.ExitCode, row.exitCode) << row.scenario;
    EXPECT_FALSE(run.BoxShown) << row.scenario << ": " << run.Box.text;
  }
}

TEST(CaptureScenario, CaughtRaisesAndShutDown) {
  Outcome run = RunCase("capture_scenario", "caught");
  EXPECT_TRUE(run.Notes.empty());
  EXPECT_TRUE(Has(run, "CAUGHT"));
  EXPECT_TRUE(Has(run, "PROLOGUE changed"));
  EXPECT_EQ(run.ExitCode, 0u);
  // After the crash reporter's shut-down the runtime has its four procedures back.
  Outcome procs = RunCase("capture_scenario", "procs");
  EXPECT_TRUE(Has(procs, "RESTORED 1111"));
}

TEST(CaptureScenario, WithoutABlockNothingIsTouched) {
  Outcome run = RunCase("capture_scenario_plain", "escape");
  EXPECT_TRUE(Has(run, "INSTALLED 0 0 0"));
  EXPECT_TRUE(Has(run, "PROLOGUE same"));
  EXPECT_TRUE(run.Notes.empty());
  ASSERT_TRUE(run.BoxShown);
  EXPECT_EQ(run.Box.caption, "Application Error");
  EXPECT_NE(run.Box.text.find("Exception ECustom in module capture_scenario_plain.exe"),
            std::string::npos)
      << run.Box.text;
  EXPECT_EQ(run.ExitCode, 1u);
}

TEST(CaptureScenario, AFrameworksLastChanceCatchReportsTheExceptionItHandles) {
  Outcome run = RunCase("capture_scenario", "framework");
  ASSERT_EQ(run.Notes.size(), 1u);
  // Seen by the raise hook too: the registers of the raise come with it.
  EXPECT_EQ(run.Notes[0], std::string("ECustom|framework|") + Flags + "|1|1");
  EXPECT_TRUE(Has(run, "SKIP OWN HANDLING"));
  EXPECT_EQ(run.ExitCode, 0u);
}

// Inside the development environment the crash reporter is active without a block and hooks
// nothing: exceptions take the runtime's ordinary course, and only a framework's catch reports.
TEST(CaptureScenario, InsideTheDevelopmentEnvironmentNothingIsIntercepted) {
  Outcome run = RunCase("VantorIDE", "escape");
  EXPECT_TRUE(Has(run, "INSTALLED 1 0 0"));
  EXPECT_TRUE(Has(run, "PROLOGUE same"));
  EXPECT_TRUE(run.Notes.empty());
  ASSERT_TRUE(run.BoxShown);
  EXPECT_EQ(run.Box.caption, "Application Error");
  EXPECT_EQ(run.ExitCode, 1u);

  Outcome framework = RunCase("VantorIDE", "framework");
  ASSERT_EQ(framework.Notes.size(), 1u);
  EXPECT_EQ(framework.Notes[0], "ECustom|framework|00000000|1|1");
  EXPECT_TRUE(Has(framework, "SKIP OWN HANDLING"));

  Outcome procs = RunCase("VantorIDE", "procs");
  EXPECT_TRUE(Has(procs, "RESTORED 1111"));
  EXPECT_FALSE(procs.BoxShown);
}

#if defined(__x86_64__)
// The unwinder's entry cannot be patched: the module's RaiseException import carries the raise
// hook instead. C++ throws are still seen with their registers; other codes pass untouched.
TEST(CaptureScenario, TheImportFallbackSeesThrowsAndPassesOtherCodes) {
  Outcome run = RunCase("capture_scenario", "importraise");
  EXPECT_TRUE(Has(run, "RAISE HOOK import"));
  EXPECT_TRUE(Has(run, "PROLOGUE same"));
  EXPECT_TRUE(Has(run, "CAUGHT"));
  EXPECT_TRUE(Has(run, "OTHER CODE PASSED"));
  ASSERT_EQ(run.Notes.size(), 1u);
  EXPECT_EQ(run.Notes[0], std::string("ECustom|escape through the import|") + Flags + "|1|1");
  EXPECT_EQ(run.ExitCode, 1u);
  EXPECT_FALSE(run.BoxShown);
}
#endif
