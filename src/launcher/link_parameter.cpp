#include "launcher/link_parameter.h"

#include "launcher/launch_values.h"
#include "runtime/command_line.h"

namespace vl::ordalin {

std::string RemoveAll(const std::string& text, const std::string& pattern) {
  if (pattern.empty()) return text;
  std::string result;
  result.reserve(text.size());
  size_t from = 0;
  for (size_t at = text.find(pattern); at != std::string::npos; at = text.find(pattern, from)) {
    result.append(text, from, at - from);
    from = at + pattern.size();
  }
  result.append(text, from, std::string::npos);
  return result;
}

std::string LinkParameterFromArgument(const std::string& argument) {
  return RemoveAll(RemoveAll(argument, kUrlPrefix), kRemovedCharacter);
}

std::vector<std::string> ProgramArguments(const std::string& commandLine) {
  std::vector<std::string> args = rtl::SplitCommandLine(commandLine);
  if (!args.empty()) args.erase(args.begin());
  return args;
}

}  // namespace vl::ordalin
