// The system queries against the test's own calls, the focused password box, the clipboard.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "report/report_text_rules.h"
#include "report/system_info_win.h"

using namespace vl;

namespace {

TEST(SystemInfo, AgreesWithTheSystemsOwnAnswers) {
  char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof computer;
  ASSERT_TRUE(GetComputerNameA(computer, &size));
  EXPECT_EQ(report::QueryComputerName(), computer);
  EXPECT_FALSE(report::QueryUserName().empty());

  MEMORYSTATUSEX memory;
  std::memset(&memory, 0, sizeof memory);
  memory.dwLength = sizeof memory;
  ASSERT_TRUE(GlobalMemoryStatusEx(&memory));
  EXPECT_EQ(report::GetTotalMemory(), report::FormatMegabytes(memory.ullTotalPhys));
  EXPECT_NE(report::GetFreeMemory().find(" Mb"), std::string::npos);

  // Free space moves between calls: only the shape is fixed.
  for (const std::string& disk : {report::GetTotalDisk(), report::GetFreeDisk()}) {
    if (!disk.empty()) {
      EXPECT_EQ(disk.substr(disk.size() - 3), " Gb") << disk;
    }
  }

  OSVERSIONINFOA os;
  std::memset(&os, 0, sizeof os);
  os.dwOSVersionInfoSize = sizeof os;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  ASSERT_TRUE(GetVersionExA(&os));
#pragma GCC diagnostic pop
  EXPECT_EQ(report::GetWindowsBuild(), std::to_string(os.dwBuildNumber));
  EXPECT_EQ(report::GetWindowsUpdate(), report::TrimText(os.szCSDVersion));
  if (os.dwMajorVersion >= 6) {
    EXPECT_EQ(report::GetWindowsName(), "");
  }
  EXPECT_FALSE(report::GetWindowsLanguage().empty());

  // Run without arguments by the test driver; the executable has no version resource.
  EXPECT_EQ(report::GetCommandLineParameters(), "");
  EXPECT_EQ(report::GetApplicationName(), "report_win_test.exe");
  EXPECT_EQ(report::GetApplicationVersion(), "");

  const std::string date = report::FormatLocalReportDate(report::LocalReportTime());
  EXPECT_EQ(date.substr(date.size() - 5), report::FormatZone(report::ZoneBias()));
  EXPECT_EQ(date[3], ',');
}

TEST(SystemInfo, AFocusedPasswordBoxShowsOnlyItsLength) {
  HWND window = CreateWindowExA(0, "STATIC", "Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                                100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  HWND edit = CreateWindowExA(0, "EDIT", "secret", WS_CHILD | WS_VISIBLE | ES_PASSWORD, 0, 0, 100,
                              20, window, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(edit, nullptr);
  SetFocus(edit);
  EXPECT_EQ(report::GetFocusedControlClass(), "Edit");
  EXPECT_EQ(report::GetFocusedControlText(), "******");
  DestroyWindow(window);
}

TEST(SystemInfo, TheReportReachesTheClipboard) {
  const std::string text = "VantorLog 4.5.4\r\nclipboard test";
  ASSERT_TRUE(report::CopyReportToClipboard(text));
  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE data = GetClipboardData(CF_TEXT);
  ASSERT_NE(data, nullptr);
  const char* stored = static_cast<const char*>(GlobalLock(data));
  EXPECT_EQ(std::string(stored), text);
  GlobalUnlock(data);
  CloseClipboard();
}

}  // namespace
