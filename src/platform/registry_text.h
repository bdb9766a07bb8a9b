// Reading one string value from the registry.
#pragma once

#include <windows.h>

#include <string>

namespace vl::platform {

// A leading "\" of Key is dropped; the value's data without its terminating zero. A missing
// value gives an empty string; a key that cannot be opened leaves Result as it was.
void ReadRegistryText(HKEY root, const std::string& key, const std::string& valueName,
                      std::string& result);
std::string ReadRegistryText(HKEY root, const std::string& key, const std::string& valueName);

}  // namespace vl::platform
