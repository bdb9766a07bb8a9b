// An ordered list of strings with a change event, as the options' filter lists need it.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vl::core {

class TVantorStringList {
 public:
  TVantorStringList() = default;
  // Not copyable: the change event usually captures the list's owner, which a copy would share.
  TVantorStringList(const TVantorStringList&) = delete;
  TVantorStringList& operator=(const TVantorStringList&) = delete;

  int Count() const { return static_cast<int>(Items.size()); }
  const std::string& operator[](int index) const { return Items.at(static_cast<size_t>(index)); }
  const std::vector<std::string>& Strings() const { return Items; }

  void Add(const std::string& s);
  void Put(int index, const std::string& s);
  void Delete(int index);
  void Clear();
  // Replaces the contents (one change event).
  void Assign(const TVantorStringList& source);
  void Assign(const std::vector<std::string>& items);

  // Called after every change.
  std::function<void()> OnChange;

 private:
  void Changed();
  std::vector<std::string> Items;
};

}  // namespace vl::core
