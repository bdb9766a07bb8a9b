// The crash reporter's start-up and shut-down, run as a unit of the runtime (order
// UnitOrderCrashReporter) before the program's units and finalised after them.
//
// Start-up: records the main thread; activates the module registry (which reads this module's
// data block); without a block nothing else happens and the program's exceptions take their
// ordinary course. With one: the runtime's procedures are taken over, the raise hook and the
// thread hooks are installed, CaptureInstalled is set. Shut-down (only when installed): clears
// CaptureInstalled first, so that every hook forwards from then on, then gives the runtime its
// four procedure variables back and frees the state.
//
// Inside the development environment (core's IsRunningInIDE: the program is the environment's
// own executable) the crash reporter is active without a block and without any interception: no
// procedure variable is taken over and no raise or thread hook installed, so exceptions take the
// runtime's ordinary course and are reported only through ExceptionManager (the framework
// handlers, ExceptionLog::HandleFrameworkException); the state, the thread registry (empty) and
// the module list (refreshed at the end of start-up) are kept.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace vl::capture {

void StartCapture();
void StopCapture();

// Noted at start-up (for the restart and the report), kept after shut-down.
extern std::string StartDirectory;
extern SYSTEMTIME StartTime;
// The main thread's handle (suspend/resume and context rights; freeze detection) and its stack
// base; null / 0 when inactive.
extern HANDLE MainThreadHandle;
extern uintptr_t MainStackBase;
// Started inside the development environment: active, nothing intercepted.
extern bool DevelopmentEnvironmentMode;

}  // namespace vl::capture

// Referenced by the link option that keeps the unit in every program linking the capture.
extern "C" int vl_capture_unit_link;
