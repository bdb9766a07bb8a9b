#include "platform/version_info.h"

#include <windows.h>

#include <vector>

#include "runtime/exceptions.h"

namespace vl::platform {

void GetVersionInfo(const std::string& fileName, std::string& description, std::string& version) {
  description.clear();
  version.clear();
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(fileName.c_str(), &handle);
  if (size == 0) return;
  std::vector<char> data(size);
  if (!GetFileVersionInfoA(fileName.c_str(), 0, size, data.data())) return;

  void* value = nullptr;
  UINT length = 0;
  if (VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &value, &length) && value &&
      length >= 4) {
    const WORD* pair = static_cast<const WORD*>(value);
    std::string query = Format("\\StringFileInfo\\%04X%04X\\FileDescription",
                               static_cast<unsigned>(pair[0]), static_cast<unsigned>(pair[1]));
    char* text = nullptr;
    UINT chars = 0;
    if (VerQueryValueA(data.data(), query.c_str(), reinterpret_cast<void**>(&text), &chars) &&
        text && chars > 1)
      description.assign(text, strnlen(text, chars));
  }

  VS_FIXEDFILEINFO* fixed = nullptr;
  if (VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length) && fixed &&
      length >= sizeof(VS_FIXEDFILEINFO)) {
    version = Format("%u.%u.%u.%u", static_cast<unsigned>(HIWORD(fixed->dwFileVersionMS)),
                     static_cast<unsigned>(LOWORD(fixed->dwFileVersionMS)),
                     static_cast<unsigned>(HIWORD(fixed->dwFileVersionLS)),
                     static_cast<unsigned>(LOWORD(fixed->dwFileVersionLS)));
    if (version == "0.0.0.0") version.clear();
  }
}

}  // namespace vl::platform
