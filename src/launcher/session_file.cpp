#include "launcher/session_file.h"

#include <shlobj.h>
#include <windows.h>

#include "launcher/launch_values.h"
#include "runtime/application.h"
#include "runtime/system.h"

namespace vl::ordalin {

namespace {

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace

std::string GetAppDataFolder() {
  LPITEMIDLIST items = nullptr;
  HRESULT result = SHGetSpecialFolderLocation(Forms::Application->Handle(), CSIDL_APPDATA, &items);
  // The shell writes up to MAX_PATH characters, terminating zero included.
  char path[MAX_PATH + 1] = {};
  bool named = SUCCEEDED(result) && items && SHGetPathFromIDListA(items, path) && path[0];
  if (items) CoTaskMemFree(items);
  if (!named) {
    std::string reason = "The folder has no file-system path.";
    if (FAILED(result)) {
      reason = rtl::SysErrorMessage(static_cast<DWORD>(result));
      if (reason.empty()) reason = Format("Shell error %08lX.", static_cast<unsigned long>(result));
    }
    throw EAppDataFolderError(Format(
        "Cannot determine the application data folder for the session file. %s", reason.c_str()));
  }
  return path;
}

void WriteSessionFile() {
  const std::string folder = GetAppDataFolder() + "\\";
  const std::string content = SessionFileText(ExtractFilePath(Forms::Application->ExeName()));
  const std::string fileName = folder + kSessionFileName;

  FileHandle file(CreateFileA(fileName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE)
    throw EFCreateError(fileName, rtl::SysErrorMessage(GetLastError()));

  DWORD written = 0;
  if (!WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written,
                 nullptr) ||
      written != content.size())
    throw EStreamError(Format("Cannot write the session file \"%s\". %s", fileName.c_str(),
                              rtl::SysErrorMessage(GetLastError()).c_str()));
}

}  // namespace vl::ordalin
