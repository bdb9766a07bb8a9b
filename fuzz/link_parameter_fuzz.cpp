// Fuzz target for the launcher's handling of the command line it is started with (a link that
// any web page can hand to the shell): the argument split and the link parameter.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "launcher/link_parameter.h"

using namespace vl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string commandLine(reinterpret_cast<const char*>(data), size);
  for (const std::string& argument : ordalin::ProgramArguments(commandLine)) {
    if (argument.find('"') != std::string::npos) abort();
    const std::string parameter = ordalin::LinkParameterFromArgument(argument);
    if (parameter.size() > argument.size()) abort();
    if (parameter.find('/') != std::string::npos) abort();
  }
  const std::string parameter = ordalin::LinkParameterFromArgument(commandLine);
  if (parameter.find('/') != std::string::npos) abort();
  return 0;
}
