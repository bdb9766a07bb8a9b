#include "delivery/address_list.h"

namespace vl::delivery {

std::string TrimText(const std::string& text) {
  size_t first = 0, last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
  return text.substr(first, last - first);
}

std::vector<std::string> SplitAddressList(const std::string& text) {
  std::string rest = TrimText(text);
  std::vector<std::string> list;
  if (rest.empty()) return list;
  if (rest.back() != ',' && rest.back() != ';') rest += ',';
  size_t start = 0;
  for (size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] != ',' && rest[i] != ';') continue;
    list.push_back(TrimText(rest.substr(start, i - start)));
    start = i + 1;
  }
  return list;
}

}  // namespace vl::delivery
