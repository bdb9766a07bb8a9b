// Matching an error's class, or one of its ancestors, by name.
#pragma once

#include <exception>
#include <string>
#include <typeinfo>

namespace vl::rtl {

// True when the error's class or an ancestor is called ClassName, ignoring case and the
// blanks around ClassName. No error object: false.
bool IsExceptionClass(std::exception_ptr error, const std::string& className);
bool IsExceptionClass(const std::type_info* type, const std::string& className);

}  // namespace vl::rtl
