// A stand-in mail program for the mailto tests, registered under HKCR mailto\shell\open\command.
// It appends its command line and then each argument (one per line, after "arg ") to the file
// named by VL_MAILTO_LOG, shows a window of class "VantorMailtoStandIn" and ends when the window
// is closed or after 20 seconds.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER || message == WM_CLOSE) {
    DestroyWindow(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void Log(const std::string& text) {
  char path[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableA("VL_MAILTO_LOG", path, sizeof path);
  if (n == 0 || n >= sizeof path) return;
  HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  std::string text = std::string("line ") + GetCommandLineA() + "\n";
  for (int i = 1; i < __argc; ++i) text += std::string("arg ") + __argv[i] + "\n";
  Log(text);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "VantorMailtoStandIn";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, "VantorMailtoStandIn", "Stand-in mail", WS_OVERLAPPEDWINDOW, 50,
                                50, 300, 200, nullptr, nullptr, instance, nullptr);
  ShowWindow(window, show);
  UpdateWindow(window);
  SetTimer(window, 1, 20000, nullptr);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
