#include "runtime/exception_class.h"

#include "runtime/class_names.h"

namespace vl::rtl {

namespace {

std::string Trimmed(const std::string& s) {
  size_t first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  size_t last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

}  // namespace

bool IsExceptionClass(const std::type_info* type, const std::string& className) {
  std::string name = Trimmed(className);
  return type && !name.empty() && rtl::InheritsFromName(*type, name);
}

bool IsExceptionClass(std::exception_ptr error, const std::string& className) {
  if (!error) return false;
  try {
    std::rethrow_exception(error);
  } catch (...) {
    return IsExceptionClass(rtl::CurrentExceptionType(), className);
  }
}

}  // namespace vl::rtl
