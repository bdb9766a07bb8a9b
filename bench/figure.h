// One figure of a bench, printed as scripts/bench.sh collects it:
//   figure | <name> | <value with unit> | goal <goal> | <peer ratio>
// ("-" for a goal or a peer ratio the figure does not have). The bench's other lines are
// detail for its log.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

namespace vl::bench {

// printf into a std::string.
__attribute__((format(printf, 1, 2))) inline std::string Format(const char* format, ...) {
  char buffer[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

inline void Figure(const std::string& name, const std::string& value, const std::string& goal,
                   const std::string& ratio) {
  std::printf("figure | %s | %s | %s | %s\n", name.c_str(), value.c_str(),
              goal.empty() ? "-" : ("goal " + goal).c_str(), ratio.empty() ? "-" : ratio.c_str());
  std::fflush(stdout);
}

}  // namespace vl::bench
