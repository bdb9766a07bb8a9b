// Locating a host framework's routine by full name, or else by the name a loaded package
// exports it under, and redirecting it.
#pragma once

#include <string>

namespace vl {

// FindProcAddress(FullName); when not found, the address PackageFile (an already loaded module)
// exports under ExportName. When an address was found and NewProc is given, the routine is
// redirected with the hooking engine and the engine's result is returned (its refusal is raised
// to the caller); otherwise the address (null when none).
void* FindAndRedirect(const std::string& fullName, const std::string& packageFile,
                      const std::string& exportName, void* newProc);

}  // namespace vl
