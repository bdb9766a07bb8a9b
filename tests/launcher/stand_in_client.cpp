// Stands in for the telephony client's main window: a window of class "TMainTessaly" titled by
// the first argument, which appends one line per WM_COPYDATA it receives to the file named by
// the second argument:
//   wParam=<decimal> dwData=<decimal> cbData=<decimal> bytes=<hex of the cbData bytes>
// The line is on disk before the message returns. The file exists (empty) as soon as the window
// does, which tells a script that the client is ready. WM_CLOSE ends the program.
#include <windows.h>

#include <cstdio>
#include <string>

#include "runtime/command_line.h"

using namespace vl;

namespace {

std::string g_recordFile;

HANDLE OpenRecord() {
  return CreateFileA(g_recordFile.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

void Record(WPARAM wParam, const COPYDATASTRUCT* data) {
  char head[128];
  std::snprintf(
      head, sizeof head,
      "wParam=%llu dwData=%llu cbData=%lu bytes=", static_cast<unsigned long long>(wParam),
      static_cast<unsigned long long>(data->dwData), static_cast<unsigned long>(data->cbData));
  std::string line = head;
  const auto* bytes = static_cast<const unsigned char*>(data->lpData);
  for (DWORD i = 0; bytes && i < data->cbData; ++i) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
    line += hex;
  }
  line += "\n";
  HANDLE file = OpenRecord();
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COPYDATA:
      Record(wParam, reinterpret_cast<const COPYDATASTRUCT*>(lParam));
      return TRUE;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int main() {
  auto args = rtl::SplitCommandLine(GetCommandLineA());
  if (args.size() < 3) return 2;
  g_recordFile = args[2];
  WNDCLASSA wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "TMainTessaly";
  if (!RegisterClassA(&wc)) return 3;
  HWND window = CreateWindowExA(0, wc.lpszClassName, args[1].c_str(), WS_OVERLAPPEDWINDOW, 0, 0,
                                200, 100, nullptr, nullptr, wc.hInstance, nullptr);
  if (!window) return 4;
  HANDLE ready = OpenRecord();
  if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
