// Which kind of host the program is, tested anew each time it is asked (the environment and the
// files may change): ISAPI (the crash reporter's own module is a DLL exporting
// "HttpExtensionProc"), CGI (a console program with the environment variable "REQUEST_METHOD",
// also when empty), WinCGI (wincgi_call.h; a GUI program started with a request profile), web
// host (any of these; the IntraWeb kind does not exist here), GUI (neither a web host nor a
// console program). A console program is one whose executable's PE subsystem is the console's.
#pragma once

#include <windows.h>

#include <string>

#include "hosts/wincgi_call.h"

namespace vl::hosts {

bool IsConsoleProgram();
bool IsCgiHost();
bool IsIsapiHost();
// The WinCGI decision for this process (absolute profile and output names when it is one).
TWinCgiCall WinCgiHost();
bool IsWinCgiHost();
bool IsWebHost();
bool IsGuiHost();

// The module that contains the crash reporter (this code).
HMODULE CrashReporterModule();

}  // namespace vl::hosts
