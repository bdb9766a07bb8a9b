// The freeze watchdog in a real program whose main thread stops taking messages.
#include <gtest/gtest.h>

#include <regex>

#include "support/win_process.h"

namespace {

std::string RunFrozen(const std::string& mode) {
  std::string log = testsupport::ExeFolder() + "freeze_" + mode + ".log";
  DeleteFileA(log.c_str());
  testsupport::ChildProcess child("\"" + testsupport::ExeFolder() + "freeze_program.exe\" " + mode +
                                  " \"" + log + "\"");
  EXPECT_TRUE(child.Started());
  EXPECT_EQ(child.Wait(30000), 0u) << mode;
  return testsupport::ReadFileText(log);
}

int Reports(const std::string& log) {
  std::smatch m;
  return std::regex_search(log, m, std::regex("reports=(\\d+)")) ? std::stoi(m[1]) : -1;
}

}  // namespace

TEST(FreezeWatchdog, FrozenMainThreadIsReportedWhereItStandsAndRunsOn) {
  for (const char* mode : {"spin", "sleep", "alloc"}) {
    std::string log = RunFrozen(mode);
    // Three seconds frozen at a one-second threshold: reported, and again while still frozen.
    EXPECT_GE(Reports(log), 2) << mode << "\n" << log;
    EXPECT_LE(Reports(log), 3) << mode << "\n" << log;
    std::regex report(
        "report thread=main class=EFrozenApplication message=The application seems to be "
        "frozen\\. in_function=1 copy=[1-9][0-9]*\n");
    EXPECT_TRUE(std::regex_search(log, report)) << mode << "\n" << log;
    EXPECT_EQ(log.find("thread=other"), std::string::npos) << mode;
    EXPECT_EQ(log.find("in_function=0"), std::string::npos) << mode << "\n" << log;
    // The program ended normally after recovering (exit code checked in RunFrozen).
  }
}

TEST(FreezeWatchdog, NoReportForAShortStallNoWindowOrABusyNotification) {
  for (const char* mode : {"stall", "nowindow", "busy"}) {
    std::string log = RunFrozen(mode);
    EXPECT_EQ(Reports(log), 0) << mode << "\n" << log;
  }
}

TEST(FreezeWatchdog, StopEndsTheThreadPromptly) {
  std::string log = RunFrozen("stop");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(log, m, std::regex("stop_ms=(\\d+) running=(\\d)"))) << log;
  EXPECT_LE(std::stoi(m[1]), 300) << log;
  EXPECT_EQ(m[2], "0");
}

TEST(FreezeWatchdog, ALibrarysStopNeverWaitsForARunningNotification) {
  // Unloading, then the process's end, both while the notification runs (exit code 0 in time).
  std::smatch m;
  const std::string log = RunFrozen("library");
  ASSERT_TRUE(std::regex_search(log, m, std::regex("free_ms=(\\d+)"))) << log;
  EXPECT_LE(std::stoi(m[1]), 300);
}
