// The crash reporter in a GUI program: the exception dialog (driven as a user would, its two
// views photographed for review), a form handler's exception reported instead of the
// framework's box, and a frozen main thread.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "delivery/screen_capture.h"
#include "report/log_text.h"
#include "support/win_process.h"

using namespace vl;

namespace {

using testsupport::ExeFolder;

std::string Sample() { return "\"" + ExeFolder() + "gui_sample.exe\""; }
std::string LogFile() { return ExeFolder() + "gui_sample.vlf"; }

std::vector<std::string> LogEntries() {
  report::TLogText log;
  log.Load(testsupport::ReadFileText(LogFile()));
  return log.Items();
}

// Pictures for review: <build>/test-artifacts/demo/NAME.png.
std::string Artifact(const std::string& name) {
  const std::string folder = ExeFolder() + "..\\..\\test-artifacts\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  CreateDirectoryA((folder + "demo").c_str(), nullptr);
  return folder + "demo\\" + name + ".png";
}

TEST(GuiSample, ExceptionDialogShowsTheReportAndLogsIt) {
  DeleteFileA(LogFile().c_str());
  testsupport::ChildProcess child(Sample() + " dialog");
  ASSERT_TRUE(child.Started());
  HWND dialog = child.WaitForDialog(30000);
  ASSERT_NE(dialog, nullptr);
  char text[512] = {};
  GetDlgItemTextA(dialog, 101, text, sizeof text);
  EXPECT_EQ(std::string(text), "The sample failed & stopped.");
  Sleep(500);
  delivery::CaptureScreenToPng(Artifact("crash_dialog_compact"));
  SendMessageA(GetDlgItem(dialog, 4), BM_CLICK, 0, 0);  // details
  Sleep(1000);
  delivery::CaptureScreenToPng(Artifact("crash_dialog_detailed"));
  SendMessageA(GetDlgItem(dialog, 2), BM_CLICK, 0, 0);  // OK
  EXPECT_EQ(child.Wait(30000), 1u);
  const std::vector<std::string> entries = LogEntries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_NE(entries[0].find("FailInDialogSample"), std::string::npos);
}

TEST(GuiSample, FormHandlerExceptionIsReportedInsteadOfTheFrameworksBox) {
  DeleteFileA(LogFile().c_str());
  testsupport::CapturedRun run = testsupport::RunCaptured(Sample() + " form");
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.output.find("framework handled"), std::string::npos);
  const std::vector<std::string> entries = LogEntries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_NE(entries[0].find("The form's handler failed."), std::string::npos);
  EXPECT_NE(entries[0].find("FailInHandler"), std::string::npos);
}

TEST(GuiSample, FrozenMainThreadIsReportedAndRunsOn) {
  DeleteFileA(LogFile().c_str());
  testsupport::CapturedRun run = testsupport::RunCaptured(Sample() + " freeze", {}, 60000);
  EXPECT_EQ(run.exitCode, 0u);
  const std::vector<std::string> entries = LogEntries();
  ASSERT_GE(entries.size(), 1u);
  EXPECT_NE(entries[0].find("EFrozenApplication"), std::string::npos) << entries[0];
  EXPECT_NE(entries[0].find("FrozenInSample"), std::string::npos) << entries[0];
}

TEST(GuiSample, FreezeDialogOwnedByNoWindowDoesNotHang) {
  DeleteFileA(LogFile().c_str());
  testsupport::ChildProcess child(Sample() + " freezedialog");
  ASSERT_TRUE(child.Started());
  HWND dialog = child.WaitForDialog(30000);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(GetWindow(dialog, GW_OWNER), nullptr);
  Sleep(300);
  delivery::CaptureScreenToPng(Artifact("freeze_dialog"));
  // OK on every dialog until the program ends: a main thread still frozen when a report is
  // done is reported again, each further period.
  int dialogs = 0;
  DWORD exitCode = STILL_ACTIVE;
  for (int i = 0; i < 60 && exitCode == STILL_ACTIVE; ++i) {
    if (dialog && IsWindow(dialog)) {
      PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(2, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(dialog, 2)));
      ++dialogs;
    }
    exitCode = child.Wait(500);
    if (exitCode == STILL_ACTIVE) dialog = child.WaitForDialog(100);
  }
  EXPECT_EQ(exitCode, 0u);
  EXPECT_GE(dialogs, 1);
  const std::vector<std::string> entries = LogEntries();
  ASSERT_GE(entries.size(), 1u);
  EXPECT_NE(entries[0].find("EFrozenApplication"), std::string::npos);
}

}  // namespace
