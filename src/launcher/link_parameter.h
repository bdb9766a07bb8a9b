// Turning the link the shell passes ("ordalin://call/12345/") into the parameter string that the
// client receives ("call12345").
#pragma once

#include <string>
#include <vector>

namespace vl::ordalin {

// Every occurrence of Pattern in Text, scanned left to right without overlaps, replaced by
// nothing. Case-sensitive; an empty pattern leaves the text as it is.
std::string RemoveAll(const std::string& text, const std::string& pattern);

// The link with every "ordalin://" (exact case) removed, then every "/" removed. Nothing else is
// changed, decoded or checked.
std::string LinkParameterFromArgument(const std::string& argument);

// The command line's arguments after the program's own path (split the framework's way).
std::vector<std::string> ProgramArguments(const std::string& commandLine);

}  // namespace vl::ordalin
