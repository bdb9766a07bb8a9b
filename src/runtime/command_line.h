// Splitting a command line into arguments the way the program's framework does it.
#pragma once

#include <string>
#include <vector>

namespace vl::rtl {

// Every character up to and including the space separates arguments; a double-quoted stretch
// belongs to one argument and the quote characters are dropped. An argument made of quotes
// only ("") is an empty argument. The first element is the program's own path.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

}  // namespace vl::rtl
