// The crash reporter's internal trace. Every routine of the crash reporter writes a line when it
// starts (its name and arguments, indentation +2) and when it returns (its name followed by "="
// and its result, indentation -2). Lines are kept in memory and can be saved next to the
// executable. The trace is off unless switched on; while off a trace call costs one flag test.
//
//   Trace("LoadDebugInformation", {fileName}, 2);
//   ...
//   Trace("LoadDebugInformation=", {result}, -2);
#pragma once

#include <atomic>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "core/trace_arg.h"

namespace vl {

namespace core {
namespace detail {
extern std::atomic<bool> TraceEnabled;
void TraceLine(std::string_view name, std::initializer_list<TraceArg> args, int indentDelta);
}  // namespace detail
}  // namespace core

// Appends one line to the trace (see the comment at the top of this file).
inline void Trace(std::string_view Name, std::initializer_list<core::TraceArg> Args = {},
                  int IndentDelta = 0) {
  if (!core::detail::TraceEnabled.load(std::memory_order_relaxed)) return;
  core::detail::TraceLine(Name, Args, IndentDelta);
}

// Writes the trace file when tracing is on. A file that cannot be written raises EFCreateError.
// The file is written outside the trace's lock, so the writer may raise and the raise may be
// traced; a line traced from inside a write is kept but starts no second write. When another
// thread is writing at that moment, that thread writes again with every line and this call
// returns at once.
void SaveTraceLog();
// Writes the trace file when tracing is on and saving at each notification was asked for.
void SaveTraceLogIfRequested();
bool IsTraceEnabled();
// Switches tracing on (it is never switched off at run time).
void EnableTrace();

namespace core {

// ---- Set-up (the unit initialisation, and tests) ----

// Local date and time of a trace line.
struct TraceTime {
  int Year, Month, Day, Hour, Minute, Second;
};
// Where trace lines take their time from; defaults to the C library's local time.
using TraceClockProc = TraceTime (*)();
void SetTraceClock(TraceClockProc clock);

// Replaces the whole file Path with Contents; raises EFCreateError when it cannot. The default
// writes through the C library; the Windows unit installs one on the system's file calls.
using TraceFileWriterProc = void (*)(const std::string& path, const std::string& contents);
void SetTraceFileWriter(TraceFileWriterProc writer);

// The trace switches from the program's arguments (without the program's own path): tracing
// and saving at each notification are on when the last argument, upper-cased, contains
// "DEBUG"; the file is rewritten after every line when it contains "SAVE".
struct TraceSwitches {
  bool Enabled = false;
  bool SaveOnNotify = false;
  bool SaveEachLine = false;
};
TraceSwitches TraceSwitchesFromArguments(const std::vector<std::string>& arguments);
void SetTraceSwitches(const TraceSwitches& switches);
TraceSwitches CurrentTraceSwitches();

// The trace file: the running executable's path with the extension ".log".
void SetTraceFileName(const std::string& path);
std::string TraceFileName();

// A copy of the lines collected so far, and the current indentation.
std::vector<std::string> TraceLines();
std::string TraceIndent();
// Forgets all lines and the indentation (unit finalisation, tests).
void ClearTrace();

// "dd/mm/yy hh:nn:ss"
std::string FormatTraceTime(const TraceTime& time);

}  // namespace core

}  // namespace vl
