// The minidump of a report: MiniDumpWriteDump from dbghelp (loaded when the first dump is
// written), with the exception record and context of the error, the thread list, the module
// list and every thread's stack (MiniDumpNormal).
#pragma once

#include <windows.h>

#include <string>

namespace vl::report {

struct TMinidumpFacts {
  DWORD ThreadId = 0;  // the faulting thread
  // The error's record and registers; HasException false: the dump carries no exception stream
  // (an error reported without registers).
  bool HasException = false;
  EXCEPTION_RECORD Record{};
  CONTEXT Context{};
};

// The exception code a C++ raise is written with: libgcc's own ("GCC" and 0x20), as an
// operating system sees a 64-bit C++ throw; a 32-bit raise never had one.
constexpr DWORD CxxRaiseExceptionCode = 0x20474343;

// Writes the dump of this process into FileName (created or replaced). The write runs on a
// thread of its own when the calling thread is the faulting one (a process cannot dump its
// running thread's state from that thread), except inside the loader lock, where no thread
// starts: then it runs in place. False with the reason in Why (no dbghelp, no file, the write
// failed: the partial file is deleted).
bool WriteMinidump(const std::string& fileName, const TMinidumpFacts& facts, std::string& why);

// "<log file without its extension>-<yyyymmdd-hhmmss>.dmp" for a local time.
std::string KeptMinidumpName(const std::string& logFile, const SYSTEMTIME& time);

}  // namespace vl::report
