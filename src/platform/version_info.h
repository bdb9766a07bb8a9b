// The version resource of a module's file.
#pragma once

#include <string>

namespace vl::platform {

// Description: the FileDescription of the first language and code page of the translation
// table (empty when missing or a single character). Version: "major.minor.release.build" of
// the fixed file information, empty when all four are 0. Both empty without a resource.
void GetVersionInfo(const std::string& fileName, std::string& description, std::string& version);

}  // namespace vl::platform
