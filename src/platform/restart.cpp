#include "platform/restart.h"

#include <windows.h>

#include <string>
#include <vector>

#include "runtime/system.h"

namespace vl::platform {

namespace {
VL_UNIT_REGISTRATION std::string g_startFolder;
}

void RecordStartFolder() {
  char folder[MAX_PATH + 1] = {};
  DWORD n = GetCurrentDirectoryA(sizeof folder, folder);
  g_startFolder = (n > 0 && n < sizeof folder) ? std::string(folder, n) : std::string();
}

void RestartOrTerminate(bool restart) {
  if (restart) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    std::string commandLine = GetCommandLineA();
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    PROCESS_INFORMATION process = {};
    if (CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE,
                       CREATE_NEW_PROCESS_GROUP | NORMAL_PRIORITY_CLASS, nullptr,
                       g_startFolder.empty() ? nullptr : g_startFolder.c_str(), &startup,
                       &process)) {
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
    }
  }
  TerminateProcess(GetCurrentProcess(), 1);
  ExitProcess(1);
}

}  // namespace vl::platform
