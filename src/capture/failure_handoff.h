// Stack overflow, on any thread. The thread that overflowed has a page or so of stack left: too
// little for the walk, the report and the log, and a second overflow there ends the process
// silently. A vectored handler, first in the chain, copies the exception record and context and
// hands them to a thread made at start-up for this alone, which reports on the overflowed
// thread's behalf (its ID, registers and stack, read where they lie: the thread waits). The
// process then ends as Windows ends it after an overflow, with code 0xC00000FD.
// Heap corruption (0xC0000374, where the system delivers it; Wine faults inside its heap code
// instead) takes the same way, off the thread that found it, and ends the process with its code;
// a report that the damaged heap stops is given up after a minute.
#pragma once

#include <windows.h>

namespace vl::capture {

// At start-up: the handler and the reporting thread; false when either could not be had (an
// overflow then reaches the other paths as before).
bool InstallFailureHandoff();
// At shut-down: the handler goes and the reporting thread ends.
void RemoveFailureHandoff();

}  // namespace vl::capture
