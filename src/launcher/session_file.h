// The one-line session file the launcher leaves for the client in the user's application-data
// folder on every start.
#pragma once

#include <string>

#include "runtime/exceptions.h"

namespace vl::ordalin {

// Raised when the shell gives no application-data folder, so the session file has no place.
class EAppDataFolderError : public Exception {
  using Exception::Exception;
};

// The current user's application-data folder, without a trailing backslash. Raises
// EAppDataFolderError when the shell cannot name it.
std::string GetAppDataFolder();

// Creates (or truncates) "tessaly.dat" in the application-data folder and writes the client's
// path beside the launcher, " {sessionId}" and CR LF into it. Raises EFCreateError when the file
// cannot be created.
void WriteSessionFile();

}  // namespace vl::ordalin
