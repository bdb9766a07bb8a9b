// The main window of a process.
#pragma once

#include <windows.h>

namespace vl::platform {

// The first top-level window of the process that is visible, has no owner other than the
// desktop, and is not a tool window unless it is also an application window; null when none.
HWND FindProcessWindow(DWORD processId);

}  // namespace vl::platform
