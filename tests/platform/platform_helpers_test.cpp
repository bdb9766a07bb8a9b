// The small system helpers: registry text, the process window, the default character set.
#include <gtest/gtest.h>

#include "platform/default_charset.h"
#include "platform/process_window.h"
#include "platform/registry_text.h"

using namespace vl;

TEST(ReadRegistryText, ValuesMissingValuesAndMissingKeys) {
  const char* key = "Software\\VantorLogTests\\Registry";
  HKEY created = nullptr;
  ASSERT_EQ(
      RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr, &created, nullptr),
      ERROR_SUCCESS);
  const char text[] = "mail.exe %1";
  RegSetValueExA(created, "Command", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
  RegSetValueExA(created, "", 0, REG_SZ, reinterpret_cast<const BYTE*>("dflt"), 5);
  RegCloseKey(created);

  EXPECT_EQ(platform::ReadRegistryText(HKEY_CURRENT_USER, std::string("\\") + key, "Command"),
            "mail.exe %1");
  EXPECT_EQ(platform::ReadRegistryText(HKEY_CURRENT_USER, key, ""), "dflt");
  std::string result = "kept";
  platform::ReadRegistryText(HKEY_CURRENT_USER, key, "Missing", result);
  EXPECT_EQ(result, "");
  result = "kept";
  platform::ReadRegistryText(HKEY_CURRENT_USER, "Software\\VantorLogTests\\NoSuchKey", "x", result);
  EXPECT_EQ(result, "kept") << "a key that cannot be opened changes nothing";
  RegDeleteKeyA(HKEY_CURRENT_USER, key);
}

TEST(FindProcessWindow, VisibleUnownedNonToolWindowsOnly) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "VantorLogProbeWindow";
  RegisterClassA(&wc);
  EXPECT_EQ(platform::FindProcessWindow(GetCurrentProcessId()), nullptr);

  HWND tool = CreateWindowExA(WS_EX_TOOLWINDOW, wc.lpszClassName, "tool", WS_POPUP | WS_VISIBLE, 0,
                              0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
  HWND hidden = CreateWindowExA(0, wc.lpszClassName, "hidden", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                                nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_TRUE(tool && hidden);
  EXPECT_EQ(platform::FindProcessWindow(GetCurrentProcessId()), nullptr);

  HWND main = CreateWindowExA(0, wc.lpszClassName, "main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                              10, 10, nullptr, nullptr, wc.hInstance, nullptr);
  HWND owned = CreateWindowExA(0, wc.lpszClassName, "owned", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                               10, 10, main, nullptr, wc.hInstance, nullptr);
  ASSERT_TRUE(main && owned);
  EXPECT_EQ(platform::FindProcessWindow(GetCurrentProcessId()), main);
  DestroyWindow(main);
  EXPECT_EQ(platform::FindProcessWindow(GetCurrentProcessId()), nullptr);

  HWND app =
      CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_APPWINDOW, wc.lpszClassName, "app",
                      WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
  EXPECT_EQ(platform::FindProcessWindow(GetCurrentProcessId()), app)
      << "a tool window that is also an application window counts";
  for (HWND w : {tool, hidden, app}) DestroyWindow(w);
}

// The character set each ANSI code page stands for, written out (CTest also runs this under
// code page 936).
TEST(GetDefaultCharset, MatchesTheAnsiCodePage) {
  struct Known {
    UINT codePage;
    BYTE charset;
  } known[] = {{1252, ANSI_CHARSET},    {936, GB2312_CHARSET},      {932, SHIFTJIS_CHARSET},
               {949, HANGEUL_CHARSET},  {950, CHINESEBIG5_CHARSET}, {1250, EASTEUROPE_CHARSET},
               {1251, RUSSIAN_CHARSET}, {1253, GREEK_CHARSET},      {1254, TURKISH_CHARSET}};
  const UINT codePage = GetACP();
  for (const Known& k : known) {
    if (k.codePage == codePage) {
      EXPECT_EQ(platform::GetDefaultCharset(), k.charset) << "code page " << codePage;
      return;
    }
  }
  GTEST_SKIP() << "code page " << codePage << " is not in the table";
}
