// Stands in for the client's executable (built as tessaly.exe): appends its command line and
// working folder to tessaly.log beside itself and ends.
//   cmdline=<command line>\n cwd=<working folder>\n
#include <windows.h>

#include <string>

int main() {
  char path[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string log(path);
  log = log.substr(0, log.find_last_of("\\") + 1) + "tessaly.log";
  char cwd[MAX_PATH + 1] = {};
  GetCurrentDirectoryA(MAX_PATH, cwd);
  std::string record = std::string("cmdline=") + GetCommandLineA() + "\ncwd=" + cwd + "\n";
  HANDLE file = CreateFileA(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
  CloseHandle(file);
  return 0;
}
