// Class names of thrown objects at run time. The crash reporter shows an exception's class name
// and its filters match a class or any of its ancestors by name, so both must be obtainable from
// a thrown object's std::type_info (GCC's Itanium C++ ABI type information).
#pragma once

#include <string>
#include <typeinfo>
#include <vector>

namespace vl::rtl {

// Demangled, fully qualified name: "ns::EFoo", "std::runtime_error".
std::string QualifiedClassName(const std::type_info& type);

// The class's own name without its namespaces or enclosing classes: "EFoo", "runtime_error".
std::string ClassName(const std::type_info& type);

// The class followed by all its ancestors (qualified names, nearest first, each once).
// The result is computed once per type and stays valid for the life of the process.
const std::vector<std::string>& ClassAncestry(const std::type_info& type);

// True when the class or one of its ancestors is called Name, compared without regard to case,
// either by qualified name or by own name.
bool InheritsFromName(const std::type_info& type, const std::string& name);

// The type of the exception being handled on this thread (inside a catch block), or null.
const std::type_info* CurrentExceptionType();

}  // namespace vl::rtl
