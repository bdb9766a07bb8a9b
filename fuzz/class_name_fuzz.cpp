// The type-name readers: the class names shown in the report come from a thrown object's
// std::type_info, whose name the reporter demangles when it can and shows raw when it cannot.
// Here the name is the input (up to its first zero byte; a leading "*" is not part of it). Checked:
// the qualified name is the runtime's demangling or, where that fails, the name itself; the own
// name is the qualified name's end after its last scope "::" outside template arguments and
// parentheses, and holds no such "::" itself. (The ancestry and the name matching read the
// base-class records of real types; they are cached per type for the life of the process and are
// not fuzzed.)
#include <cxxabi.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <typeinfo>

#include "fuzz_check.h"
#include "runtime/class_names.h"

using namespace vl;

namespace {

// A std::type_info with a made-up name: only name() is read.
class TNamedType : public std::type_info {
 public:
  explicit TNamedType(const char* name) : std::type_info(name) {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string name(reinterpret_cast<const char*>(data), size);  // c_str() stops at a zero
  const TNamedType type(name.c_str());

  const std::string qualified = rtl::QualifiedClassName(type);
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
  Check(qualified == (status == 0 && demangled ? std::string(demangled.get()) : type.name()));

  const std::string own = rtl::ClassName(type);
  Check(own.size() <= qualified.size() &&
        qualified.compare(qualified.size() - own.size(), own.size(), own) == 0);
  const size_t start = qualified.size() - own.size();
  Check(start == 0 || (start >= 2 && qualified.compare(start - 2, 2, "::") == 0));
  int depth = 0;
  for (size_t i = 0; i + 1 < qualified.size(); ++i) {
    const char c = qualified[i];
    depth += (c == '<' || c == '(') - (c == '>' || c == ')');
    if (depth == 0 && c == ':' && qualified[i + 1] == ':') Check(i + 2 <= start);
  }
  return 0;
}
