#include "platform/registry_text.h"

#include <vector>

namespace vl::platform {

void ReadRegistryText(HKEY root, const std::string& key, const std::string& valueName,
                      std::string& result) {
  std::string path = (!key.empty() && key[0] == '\\') ? key.substr(1) : key;
  HKEY opened = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return;
  result.clear();
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(opened, valueName.c_str(), nullptr, &type, nullptr, &size) ==
          ERROR_SUCCESS &&
      size > 0) {
    std::vector<char> data(size + 1);
    if (RegQueryValueExA(opened, valueName.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &size) == ERROR_SUCCESS) {
      size_t n = size < data.size() ? size : data.size() - 1;
      while (n > 0 && data[n - 1] == '\0') --n;
      result.assign(data.data(), n);
    }
  }
  RegCloseKey(opened);
}

std::string ReadRegistryText(HKEY root, const std::string& key, const std::string& valueName) {
  std::string result;
  ReadRegistryText(root, key, valueName, result);
  return result;
}

}  // namespace vl::platform
