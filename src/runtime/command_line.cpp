#include "runtime/command_line.h"

namespace vl::rtl {

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> args;
  size_t i = 0;
  const size_t n = commandLine.size();
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (true) {
    while (i < n && blank(commandLine[i])) ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n && (quoted || !blank(commandLine[i]))) {
      if (commandLine[i] == '"')
        quoted = !quoted;
      else
        arg += commandLine[i];
      ++i;
    }
    args.push_back(std::move(arg));
  }
  return args;
}

}  // namespace vl::rtl
