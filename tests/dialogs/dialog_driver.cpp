#include "dialog_driver.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "delivery/screen_capture.h"
#include "support/win_process.h"

using namespace vl;

namespace dialogtest {

Worker::Worker(std::function<void()> body)
    : thread_([this, body] {
        id_.store(GetCurrentThreadId());
        body();
        done_.store(true);
      }) {}

Worker::~Worker() {
  if (thread_.joinable()) thread_.join();
}

DWORD Worker::ThreadId() const {
  while (id_.load() == 0) Sleep(1);
  return id_.load();
}

bool Worker::Wait(DWORD timeoutMs) const {
  DWORD start = GetTickCount();
  while (!done_.load()) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(10);
  }
  return true;
}

namespace {

// Each dialog a test waits for is photographed for review:
// <build>/test-artifacts/dialogs/<suite>.<test>[-<n>].png.
void Photograph() {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  if (!test) return;
  static std::map<std::string, int> taken;
  std::string name = std::string(test->test_suite_name()) + "." + test->name();
  const int n = taken[name]++;
  if (n > 0) name += "-" + std::to_string(n + 1);
  char exe[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  std::string folder(exe);
  folder.resize(folder.rfind('\\') + 1);
  folder += "..\\..\\test-artifacts\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  folder += "dialogs\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  try {
    delivery::CaptureScreenToPng(folder + name + ".png");
  } catch (...) {
    // A picture for review only: a failed capture fails no test.
  }
}

}  // namespace

HWND WaitForDialog(const char* caption, DWORD threadId, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (HWND found = testsupport::FindDialogBox(GetCurrentProcessId(), threadId, caption)) {
      // Let it paint and settle before it is driven.
      DWORD_PTR ignored;
      SendMessageTimeoutA(found, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
      Sleep(100);
      Photograph();
      return found;
    }
    if (GetTickCount() - start > timeoutMs) return nullptr;
    Sleep(20);
  }
}

bool WaitGone(HWND window, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (IsWindow(window)) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(10);
  }
  return true;
}

std::string Text(HWND window) {
  char buffer[8192] = {};
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer),
                           SMTO_NORMAL, 5000, &got))
    return "";
  return std::string(buffer, got);
}

std::string ItemText(HWND dialog, int id) { return Text(GetDlgItem(dialog, id)); }
bool Visible(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE; }
bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
bool Checked(HWND dialog, int id) {
  return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}
void Click(HWND dialog, int id) { SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0); }

RECT WindowRect(HWND window) {
  RECT r = {};
  GetWindowRect(window, &r);
  return r;
}
RECT ClientRect(HWND window) {
  RECT r = {};
  GetClientRect(window, &r);
  return r;
}
RECT RectInParent(HWND control) {
  RECT r = WindowRect(control);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

namespace {
void SendKeys(const std::vector<INPUT>& inputs) {
  SendInput(static_cast<UINT>(inputs.size()), const_cast<INPUT*>(inputs.data()), sizeof(INPUT));
  Sleep(50);
}
INPUT KeyInput(WORD key, bool up) {
  INPUT in = {};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = key;
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return in;
}
}  // namespace

void PressKey(WORD key) { SendKeys({KeyInput(key, false), KeyInput(key, true)}); }

void TypeText(const std::string& text) {
  for (char c : text) {
    SHORT code = VkKeyScanA(c);
    std::vector<INPUT> in;
    bool shift = (code >> 8) & 1;
    if (shift) in.push_back(KeyInput(VK_SHIFT, false));
    in.push_back(KeyInput(LOBYTE(code), false));
    in.push_back(KeyInput(LOBYTE(code), true));
    if (shift) in.push_back(KeyInput(VK_SHIFT, true));
    SendKeys(in);
  }
}

void DoubleClickAt(POINT screen) {
  SetCursorPos(screen.x, screen.y);
  Sleep(50);
  std::vector<INPUT> in;
  for (int i = 0; i < 2; ++i) {
    INPUT down = {}, up = {};
    down.type = up.type = INPUT_MOUSE;
    down.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    up.mi.dwFlags = MOUSEEVENTF_LEFTUP;
    in.push_back(down);
    in.push_back(up);
  }
  SendKeys(in);
}

HWND FocusOf(DWORD threadId) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(threadId, &info)) return nullptr;
  return info.hwndFocus;
}

HWND WaitFocusChange(DWORD threadId, HWND previous, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  HWND focus = FocusOf(threadId);
  while (focus == previous && GetTickCount() - start < timeoutMs) {
    Sleep(10);
    focus = FocusOf(threadId);
  }
  return focus;
}

bool WaitForText(HWND window, const std::string& expected, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (Text(window) != expected) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(20);
  }
  return true;
}

HFONT MessageFont() {
  NONCLIENTMETRICSA metrics = {};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  return CreateFontIndirectA(&metrics.lfMessageFont);
}

SIZE TextSize(HFONT font, const std::string& text) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size = {};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return size;
}

}  // namespace dialogtest
