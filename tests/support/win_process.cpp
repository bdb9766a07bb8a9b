#include "support/win_process.h"

#include <algorithm>
#include <cstring>
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
  DWORD process, thread;
  const char* caption;
  HWND found;
};

std::string WindowText(HWND window) {
  char text[4096] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

BOOL CALLBACK FindBoxProc(HWND window, LPARAM param) {
  auto* find = reinterpret_cast<FindBox*>(param);
  DWORD process = 0;
  const DWORD thread = GetWindowThreadProcessId(window, &process);
  char cls[64] = {};
  GetClassNameA(window, cls, sizeof cls);
  if (process != find->process || std::string(cls) != "#32770" || !IsWindowVisible(window))
    return TRUE;
  if ((find->thread && thread != find->thread) ||
      (find->caption && WindowText(window) != find->caption))
    return TRUE;
  find->found = window;
  return FALSE;
}

}  // namespace

HWND FindDialogBox(DWORD processId, DWORD threadId, const char* caption) {
  FindBox find{processId, threadId, caption, nullptr};
  EnumWindows(FindBoxProc, reinterpret_cast<LPARAM>(&find));
  return find.found;
}

HWND ChildProcess::WaitForDialog(DWORD timeoutMs) const {
  const DWORD start = GetTickCount();
  for (;;) {
    HWND found = FindDialogBox(info_.dwProcessId);
    if (found || GetTickCount() - start >= timeoutMs) return found;
    Sleep(50);
  }
}

bool ChildProcess::AnswerBox(BoxText& box, int button, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < timeoutMs) {
    if (HWND found = WaitForDialog(0)) {
      box.caption = WindowText(found);
      // A message box keeps its text in the static control with ID 0xFFFF.
      HWND textControl = GetDlgItem(found, 0xFFFF);
      box.text = textControl ? WindowText(textControl) : "";
      PostMessageA(found, WM_COMMAND, static_cast<WPARAM>(button), 0);
      for (int i = 0; i < 200 && IsWindow(found); ++i) Sleep(25);
      return true;
    }
    if (WaitForSingleObject(info_.hProcess, 50) == WAIT_OBJECT_0) return false;
  }
  return false;
}

namespace {

// This process's environment block with Changes applied (sorted as the system expects).
std::vector<char> EnvironmentBlock(const std::vector<std::string>& changes) {
  std::vector<std::string> vars;
  char* block = GetEnvironmentStringsA();
  for (const char* p = block; p && *p; p += std::strlen(p) + 1) vars.emplace_back(p);
  if (block) FreeEnvironmentStringsA(block);
  auto nameOf = [](const std::string& v) {
    size_t eq = v.find('=', v.empty() || v[0] != '=' ? 0 : 1);
    return eq == std::string::npos ? v : v.substr(0, eq);
  };
  for (const std::string& change : changes) {
    std::string name = nameOf(change);
    vars.erase(std::remove_if(vars.begin(), vars.end(),
                              [&](const std::string& v) {
                                return _stricmp(nameOf(v).c_str(), name.c_str()) == 0;
                              }),
               vars.end());
    if (change.find('=') != std::string::npos) vars.push_back(change);
  }
  std::sort(vars.begin(), vars.end(), [](const std::string& a, const std::string& b) {
    return _stricmp(a.c_str(), b.c_str()) < 0;
  });
  std::vector<char> out;
  for (const std::string& v : vars) out.insert(out.end(), v.c_str(), v.c_str() + v.size() + 1);
  out.push_back('\0');
  if (vars.empty()) out.push_back('\0');
  return out;
}

DWORD WINAPI DrainPipe(void* param) {
  auto* job = static_cast<std::pair<HANDLE, std::string*>*>(param);
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(job->first, buffer, sizeof buffer, &got, nullptr) && got > 0)
    job->second->append(buffer, got);
  return 0;
}

}  // namespace

CapturedRun RunCaptured(const std::string& commandLine, const std::vector<std::string>& environment,
                        DWORD timeoutMs) {
  CapturedRun run;
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return run;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  std::vector<char> cmd(commandLine.begin(), commandLine.end());
  cmd.push_back('\0');
  std::vector<char> env = EnvironmentBlock(environment);
  PROCESS_INFORMATION pi = {};
  BOOL started =
      CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, env.data(), nullptr, &si, &pi);
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    return run;
  }
  std::pair<HANDLE, std::string*> job{readEnd, &run.output};
  HANDLE drainer = CreateThread(nullptr, 0, DrainPipe, &job, 0, nullptr);
  if (WaitForSingleObject(pi.hProcess, timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(pi.hProcess, 99);
    WaitForSingleObject(pi.hProcess, INFINITE);
    run.exitCode = STILL_ACTIVE;
  } else {
    GetExitCodeProcess(pi.hProcess, &run.exitCode);
  }
  if (drainer && WaitForSingleObject(drainer, 5000) != WAIT_OBJECT_0) TerminateThread(drainer, 1);
  if (drainer) CloseHandle(drainer);
  CloseHandle(readEnd);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return run;
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
