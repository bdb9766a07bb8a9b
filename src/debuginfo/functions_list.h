// The exported functions of one module, kept sorted by address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vl {

struct TVantorFunctionInfo {
  std::string Name;
  uintptr_t Addr = 0;  // absolute address
  int32_t Size = 0;    // bytes; the routine covers Addr to Addr + Size, both ends included
};

// An owning list: entries are held by value, so clearing and destroying free them.
class TVantorFunctionsList {
 public:
  size_t Count() const { return items_.size(); }
  const TVantorFunctionInfo& operator[](size_t index) const { return items_.at(index); }
  TVantorFunctionInfo& operator[](size_t index) { return items_.at(index); }
  void Add(TVantorFunctionInfo info) { items_.push_back(std::move(info)); }
  void Clear() { items_.clear(); }
  // Orders by Addr (stable, so names of one address keep their order).
  void Sort();
  // The entry whose range holds Address, found by binary search of the sorted list; among
  // overlapping ranges the one starting last at or before Address. Null when none holds it.
  const TVantorFunctionInfo* Find(uintptr_t address) const;

 private:
  std::vector<TVantorFunctionInfo> items_;
};

}  // namespace vl
