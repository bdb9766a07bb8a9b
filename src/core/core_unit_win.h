// The Windows side of the crash-reporter core (link vl_core_win). Its unit initialisation, at
// order rtl::UnitOrderCrashReporter, reads the trace switches from the command line, names the
// trace file after the executable (path with ".log"), computes IsRunningInIDE and installs the
// platform calls of the trace, the error reports and the options.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vl {

// True when a debugger is attached to the process.
bool IsDebuggerAttached();

namespace core {

// Installs the Windows calls of the trace file, the error reports and the options (the unit
// initialisation does this; programs without the runtime's unit start-up, such as tests, may
// call it themselves).
void InstallCorePlatform();

// Copies Count bytes at Address when the range lies in a loaded module, is readable and does not
// wrap around; false otherwise.
bool ReadModuleMemory(uintptr_t address, void* buffer, size_t count);

}  // namespace core

}  // namespace vl
