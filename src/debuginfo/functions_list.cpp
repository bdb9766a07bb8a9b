#include "debuginfo/functions_list.h"

#include <algorithm>

namespace vl {

void TVantorFunctionsList::Sort() {
  std::stable_sort(
      items_.begin(), items_.end(),
      [](const TVantorFunctionInfo& a, const TVantorFunctionInfo& b) { return a.Addr < b.Addr; });
}

const TVantorFunctionInfo* TVantorFunctionsList::Find(uintptr_t address) const {
  auto after =
      std::upper_bound(items_.begin(), items_.end(), address,
                       [](uintptr_t a, const TVantorFunctionInfo& info) { return a < info.Addr; });
  if (after == items_.begin()) return nullptr;
  const TVantorFunctionInfo& candidate = *(after - 1);
  uintptr_t size = candidate.Size > 0 ? static_cast<uintptr_t>(candidate.Size) : 0;
  if (address - candidate.Addr > size) return nullptr;
  return &candidate;
}

}  // namespace vl
