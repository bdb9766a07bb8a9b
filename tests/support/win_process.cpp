#include "support/win_process.h"

#include <fstream>
#include <sstream>

namespace testsupport {

std::string ExeFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path);
  return s.substr(0, s.find_last_of("\\/") + 1);
}

ChildProcess::ChildProcess(const std::string& commandLine, const std::string& folder) {
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  std::vector<char> cmd(commandLine.begin(), commandLine.end());
  cmd.push_back('\0');
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &si, &info_))
    info_ = {};
}

ChildProcess::~ChildProcess() {
  if (info_.hProcess) {
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT)
      TerminateProcess(info_.hProcess, 99);
    CloseHandle(info_.hProcess);
    CloseHandle(info_.hThread);
  }
}

DWORD ChildProcess::Wait(DWORD timeoutMs) {
  if (!info_.hProcess) return static_cast<DWORD>(-1);
  if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD code = 0;
  GetExitCodeProcess(info_.hProcess, &code);
  return code;
}

namespace {

struct FindBox {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindBoxProc(HWND window, LPARAM param) {
  auto* find = reinterpret_cast<FindBox*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  char cls[64] = {};
  GetClassNameA(window, cls, sizeof cls);
  if (pid == find->pid && std::string(cls) == "#32770" && IsWindowVisible(window)) {
    find->found = window;
    return FALSE;
  }
  return TRUE;
}

std::string WindowText(HWND window) {
  char text[4096] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

}  // namespace

bool ChildProcess::DismissBox(BoxText& box, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < timeoutMs) {
    FindBox find{info_.dwProcessId, nullptr};
    EnumWindows(FindBoxProc, reinterpret_cast<LPARAM>(&find));
    if (find.found) {
      box.caption = WindowText(find.found);
      // A message box keeps its text in the static control with ID 0xFFFF.
      HWND textControl = GetDlgItem(find.found, 0xFFFF);
      box.text = textControl ? WindowText(textControl) : "";
      PostMessageA(find.found, WM_COMMAND, IDOK, 0);
      return true;
    }
    if (WaitForSingleObject(info_.hProcess, 50) == WAIT_OBJECT_0) return false;
  }
  return false;
}

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool WriteFileText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace testsupport
