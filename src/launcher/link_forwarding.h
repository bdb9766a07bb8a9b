// The link path: hands the parameter string to the running client or starts the client with it.
#pragma once

#include <windows.h>

#include <string>

namespace vl::ordalin {

// Title of the client's main window to look for (set on the link path).
extern std::string AppName;
// The first argument without "ordalin://" and without "/".
extern std::string LinkParameter;
// What WM_COPYDATA carries: dwData always 0, cbData and lpData set just before sending.
extern COPYDATASTRUCT CopyData;

// Derives LinkParameter from Argument, then sends it with WM_COPYDATA to the client window of
// class "TMainTessaly" titled AppName (from App.ini); when there is no such window, starts
// tessaly.exe beside the launcher with LinkParameter as its parameters. The message's result and
// a failing start are not reported.
void ForwardLink(const std::string& argument);

}  // namespace vl::ordalin
