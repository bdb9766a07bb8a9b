#include "modules/module_info.h"

#include <algorithm>

#include "platform/module_file.h"

namespace vl {

TVantorModuleInfo::~TVantorModuleInfo() {
  using modules::Seams;
  if (Options && Seams().FreeOptions) Seams().FreeOptions(Options);
  if (Functions && Seams().FreeFunctionsList) Seams().FreeFunctionsList(Functions);
  DropDebugUnits();
}

namespace modules {

TVantorModuleInfo* TVantorModulesList::Add(std::unique_ptr<TVantorModuleInfo> info) {
  items_.push_back(std::move(info));
  return items_.back().get();
}

void TVantorModulesList::Delete(int index) { items_.erase(items_.begin() + index); }

int TVantorModulesList::IndexOf(HMODULE handle) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i]->Handle == handle) return static_cast<int>(i);
  return -1;
}

void TVantorModulesList::SortByHandle() {
  std::stable_sort(items_.begin(), items_.end(), [](const auto& a, const auto& b) {
    return reinterpret_cast<uintptr_t>(a->Handle) < reinterpret_cast<uintptr_t>(b->Handle);
  });
}

std::string GetModuleFolder(const TVantorModuleInfo& info) {
  return platform::FolderOf(info.FileName);
}

}  // namespace modules

}  // namespace vl
