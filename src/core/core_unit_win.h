// The Windows side of the crash-reporter core (link vl_core_win). Its unit initialisation, at
// order rtl::UnitOrderCrashReporter, reads the trace switches from the command line, names the
// trace file after the executable (path with ".log"), computes IsRunningInIDE and installs the
// platform calls of the trace, the error reports and the options.
#pragma once

// True when a debugger is attached to the process.
bool IsDebuggerAttached();
