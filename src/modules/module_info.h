// The information record of one module of the process, and the process-wide list of them.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "debuginfo/source_lookup.h"
#include "modules/module_seams.h"

namespace vl {

namespace modules {

enum TModuleType : uint8_t {
  mtNotDetermined = 0,
  mtExecutable = 1,
  mtPackage = 2,
  mtLibrary = 3,
};
}  // namespace modules

// Shared by the whole crash reporter (debug information, call stacks, reports).
class TVantorModuleInfo {
 public:
  TVantorModuleInfo() = default;
  ~TVantorModuleInfo();
  TVantorModuleInfo(const TVantorModuleInfo&) = delete;
  TVantorModuleInfo& operator=(const TVantorModuleInfo&) = delete;

  HMODULE Handle = nullptr;
  std::string FileName;
  std::string Description;
  std::string Version;
  int32_t FileSize = 0;
  // Owned; null until the debug information builds it (see modules::TSeams).
  TVantorFunctionsList* Functions = nullptr;
  uint8_t ModuleType = modules::mtNotDetermined;
  uint16_t DataVersion = 0;
  int32_t Reserved1 = 0;
  int32_t Reserved2 = 0;
  // Owned; null when no options class is connected (see modules::TSeams).
  TVantorModuleOptionsEx* Options = nullptr;
  // The debug information of the module's data block; null when it has none.
  std::unique_ptr<std::vector<uint8_t>> DebugInfo;
  // Owned; the unit index of DebugInfo, made by the first look-up in it. Whoever replaces
  // DebugInfo calls DropDebugUnits.
  std::atomic<const TUnitIndex*> DebugUnits{nullptr};
  void DropDebugUnits() { delete DebugUnits.exchange(nullptr); }
  // False for a light record made while enumerating the modules (no functions, type or data
  // block yet); the registry completes it in place on first use.
  bool Complete = false;
};

namespace modules {

using vl::TVantorModuleInfo;

// An owning list of module records: deleting an entry and destroying the list free them.
class TVantorModulesList {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  TVantorModuleInfo* operator[](int index) const { return items_[index].get(); }
  TVantorModuleInfo* Add(std::unique_ptr<TVantorModuleInfo> info);
  void Delete(int index);
  // Index of the record for Handle, or -1.
  int IndexOf(HMODULE handle) const;
  void SortByHandle();

 private:
  std::vector<std::unique_ptr<TVantorModuleInfo>> items_;
};

// The folder of the record's FileName without its trailing backslash; a drive root ("C:\")
// keeps it.
std::string GetModuleFolder(const TVantorModuleInfo& info);

}  // namespace modules

}  // namespace vl
