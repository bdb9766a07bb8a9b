// A registry key handle in the shape the launcher uses it: test for a key, create it, open it for
// full access and write string values. One key is open at a time.
#pragma once

#include <windows.h>

#include <string>

namespace vl::ordalin {

class TRegistry {
 public:
  explicit TRegistry(HKEY rootKey) : FRootKey(rootKey) {}
  ~TRegistry() { CloseKey(); }
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  // True when Key can be opened for reading.
  bool KeyExists(const std::string& key) const;
  // Creates Key (and the keys above it); false when that fails.
  bool CreateKey(const std::string& key) const;
  // Opens Key for full access, creating it when CanCreate; false when that fails. The key that
  // was open before is closed first.
  bool OpenKey(const std::string& key, bool canCreate);
  // Writes a REG_SZ value (with its terminating zero) into the open key; an empty name is the
  // key's default value. Raises ERegistryException "Failed to set data for '...'" when the value
  // cannot be written, also when no key is open.
  void WriteString(const std::string& name, const std::string& value);
  void CloseKey();

 private:
  HKEY FRootKey;
  HKEY FCurrentKey = nullptr;
};

}  // namespace vl::ordalin
