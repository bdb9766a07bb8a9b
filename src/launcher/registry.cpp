#include "launcher/registry.h"

#include "runtime/exceptions.h"

namespace vl::ordalin {

bool TRegistry::KeyExists(const std::string& key) const {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(FRootKey, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  RegCloseKey(opened);
  return true;
}

bool TRegistry::CreateKey(const std::string& key) const {
  HKEY created = nullptr;
  DWORD disposition = 0;
  if (RegCreateKeyExA(FRootKey, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, &created, &disposition) != ERROR_SUCCESS)
    return false;
  RegCloseKey(created);
  return true;
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
  CloseKey();
  HKEY opened = nullptr;
  LONG status;
  if (canCreate) {
    DWORD disposition = 0;
    status = RegCreateKeyExA(FRootKey, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_ALL_ACCESS, nullptr, &opened, &disposition);
  } else {
    status = RegOpenKeyExA(FRootKey, key.c_str(), 0, KEY_ALL_ACCESS, &opened);
  }
  if (status != ERROR_SUCCESS) return false;
  FCurrentKey = opened;
  return true;
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  LONG status = ERROR_INVALID_HANDLE;
  if (FCurrentKey)
    status = RegSetValueExA(FCurrentKey, name.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1));
  if (status != ERROR_SUCCESS) throw ERegistryException::SetDataFailed(name);
}

void TRegistry::CloseKey() {
  if (FCurrentKey) {
    RegCloseKey(FCurrentKey);
    FCurrentKey = nullptr;
  }
}

}  // namespace vl::ordalin
