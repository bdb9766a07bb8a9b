// Test support: start real processes under Wine, wait for them, and work their message boxes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

// Folder of the running test executable, with a trailing backslash.
std::string ExeFolder();

// The first visible top-level dialog ("#32770") of ProcessId whose thread is ThreadId (0: any)
// and whose caption is Caption (null: any); null when there is none.
HWND FindDialogBox(DWORD processId, DWORD threadId = 0, const char* caption = nullptr);

struct BoxText {
  std::string caption;
  std::string text;
};

class ChildProcess {
 public:
  // Starts CommandLine (first token: the executable) in Folder (empty: current folder).
  ChildProcess(const std::string& commandLine, const std::string& folder = "");
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return info_.hProcess != nullptr; }
  DWORD Id() const { return info_.dwProcessId; }
  // Waits up to TimeoutMs; returns the exit code, or STILL_ACTIVE after a time-out.
  DWORD Wait(DWORD timeoutMs = 30000);
  // Waits up to TimeoutMs for a dialog box ("#32770") of this process, reads its caption and
  // text, presses Button and waits until the box is gone (so that the next call sees the next
  // box). Returns false when none appeared before the time-out or the process's end.
  bool AnswerBox(BoxText& box, int button, DWORD timeoutMs = 20000);
  bool DismissBox(BoxText& box, DWORD timeoutMs = 20000) { return AnswerBox(box, IDOK, timeoutMs); }
  // Waits up to TimeoutMs for a visible dialog box ("#32770") of this process; null when none.
  HWND WaitForDialog(DWORD timeoutMs) const;

 private:
  PROCESS_INFORMATION info_ = {};
};

struct CapturedRun {
  DWORD exitCode = static_cast<DWORD>(-1);  // STILL_ACTIVE after a time-out (then killed)
  std::string output;                       // everything written to standard output
};

// Runs CommandLine with standard output on a pipe and the environment of this process changed
// by Environment ("NAME=value" sets, "NAME" alone removes), and collects its output.
CapturedRun RunCaptured(const std::string& commandLine,
                        const std::vector<std::string>& environment = {}, DWORD timeoutMs = 30000);

// Reads a whole file; empty when it does not exist.
std::string ReadFileText(const std::string& path);
bool WriteFileText(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);

}  // namespace testsupport
