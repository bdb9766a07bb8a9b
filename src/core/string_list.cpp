#include "core/string_list.h"

#include <cstddef>

namespace vl::core {

void TVantorStringList::Changed() {
  if (OnChange) OnChange();
}

void TVantorStringList::Add(const std::string& s) {
  Items.push_back(s);
  Changed();
}

void TVantorStringList::Put(int index, const std::string& s) {
  Items.at(static_cast<size_t>(index)) = s;
  Changed();
}

void TVantorStringList::Delete(int index) {
  Items.at(static_cast<size_t>(index));  // range check
  Items.erase(Items.begin() + static_cast<std::ptrdiff_t>(index));
  Changed();
}

void TVantorStringList::Clear() {
  if (Items.empty()) return;
  Items.clear();
  Changed();
}

void TVantorStringList::Assign(const TVantorStringList& source) {
  if (&source == this) return;
  Assign(source.Items);
}

void TVantorStringList::Assign(const std::vector<std::string>& items) {
  Items = items;
  Changed();
}

}  // namespace vl::core
