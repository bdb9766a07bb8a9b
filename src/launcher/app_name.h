// The title of the client's main window, from App.ini beside the launcher.
#pragma once

#include <string>

namespace vl::ordalin {

// The value of [System] AppName in App.ini in the executable's folder; "Qorvel" when the file,
// the section or the key is missing; an empty string when the key is present and empty.
std::string ReadAppName();

}  // namespace vl::ordalin
