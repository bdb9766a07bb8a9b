#include "runtime/class_names.h"

#include <cxxabi.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

namespace vl::rtl {

std::string QualifiedClassName(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> name(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
  if (status == 0 && name) return name.get();
  return type.name();
}

std::string ClassName(const std::type_info& type) {
  std::string full = QualifiedClassName(type);
  size_t start = 0;
  int depth = 0;
  for (size_t i = 0; i + 1 < full.size(); ++i) {
    char c = full[i];
    if (c == '<' || c == '(') ++depth;
    if (c == '>' || c == ')') --depth;
    if (depth == 0 && c == ':' && full[i + 1] == ':') start = i + 2;
  }
  return full.substr(start);
}

namespace {

void CollectAncestors(const std::type_info* type, std::vector<const std::type_info*>& out) {
  // Breadth-first over the ABI's base-class descriptions.
  std::vector<const std::type_info*> queue{type};
  for (size_t i = 0; i < queue.size(); ++i) {
    const std::type_info* t = queue[i];
    bool seen = false;
    for (const std::type_info* o : out) seen = seen || *o == *t;
    if (seen) continue;
    out.push_back(t);
    if (auto* si = dynamic_cast<const abi::__si_class_type_info*>(t)) {
      queue.push_back(si->__base_type);
    } else if (auto* vmi = dynamic_cast<const abi::__vmi_class_type_info*>(t)) {
      for (unsigned b = 0; b < vmi->__base_count; ++b)
        queue.push_back(vmi->__base_info[b].__base_type);
    }
  }
}

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

const std::vector<std::string>& ClassAncestry(const std::type_info& type) {
  static std::mutex lock;
  // Keyed by the mangled name: type_info objects of one type may exist once per module.
  static auto* cache = new std::map<std::string, std::vector<std::string>>();
  std::lock_guard<std::mutex> guard(lock);
  auto it = cache->find(type.name());
  if (it != cache->end()) return it->second;
  std::vector<const std::type_info*> types;
  CollectAncestors(&type, types);
  std::vector<std::string> names;
  for (const std::type_info* t : types) names.push_back(QualifiedClassName(*t));
  return cache->emplace(type.name(), std::move(names)).first->second;
}

bool InheritsFromName(const std::type_info& type, const std::string& name) {
  for (const std::string& ancestor : ClassAncestry(type)) {
    if (SameText(ancestor, name)) return true;
    size_t colon = ancestor.rfind("::");
    if (colon != std::string::npos && ancestor.find('<') == std::string::npos &&
        SameText(ancestor.substr(colon + 2), name))
      return true;
  }
  return false;
}

const std::type_info* CurrentExceptionType() { return abi::__cxa_current_exception_type(); }

}  // namespace vl::rtl
