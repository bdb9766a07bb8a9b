#include "report/minidump_win.h"

#include <dbghelp.h>

#include <cstdio>

#include "core/file_names.h"
#include "core/trace.h"
#include "runtime/system.h"

namespace vl::report {

namespace {

using TMiniDumpWriteDump = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                         PMINIDUMP_EXCEPTION_INFORMATION,
                                         PMINIDUMP_USER_STREAM_INFORMATION,
                                         PMINIDUMP_CALLBACK_INFORMATION);

// dbghelp once per process; it stays loaded (a second report uses it again).
TMiniDumpWriteDump DumpRoutine() {
  static TMiniDumpWriteDump routine = [] {
    HMODULE dbghelp = LoadLibraryA("dbghelp.dll");
    return dbghelp ? reinterpret_cast<TMiniDumpWriteDump>(
                         reinterpret_cast<void*>(GetProcAddress(dbghelp, "MiniDumpWriteDump")))
                   : nullptr;
  }();
  return routine;
}

struct TDumpJob {
  const std::string* FileName;
  const TMinidumpFacts* Facts;
  std::string Why;
  bool Done = false;
};

void RunJob(TDumpJob& job) {
  TMiniDumpWriteDump write = DumpRoutine();
  if (!write) {
    job.Why = "dbghelp.dll or its MiniDumpWriteDump cannot be loaded";
    return;
  }
  HANDLE file = CreateFileA(job.FileName->c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    job.Why = "cannot create the file: " + rtl::SysErrorMessage(GetLastError());
    return;
  }
  // Copies: dbghelp reads them while this thread waits, ClientPointers FALSE says they are ours.
  EXCEPTION_RECORD record = job.Facts->Record;
  CONTEXT context = job.Facts->Context;
  EXCEPTION_POINTERS pointers{&record, &context};
  MINIDUMP_EXCEPTION_INFORMATION exception{};
  exception.ThreadId = job.Facts->ThreadId;
  exception.ExceptionPointers = &pointers;
  exception.ClientPointers = FALSE;
  const BOOL ok = write(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal,
                        job.Facts->HasException ? &exception : nullptr, nullptr, nullptr);
  const DWORD error = GetLastError();
  const BOOL closed = CloseHandle(file);
  if (!ok || !closed) {
    job.Why = "MiniDumpWriteDump failed: " + rtl::SysErrorMessage(ok ? GetLastError() : error);
    DeleteFileA(job.FileName->c_str());
    return;
  }
  job.Done = true;
}

DWORD WINAPI JobThread(void* parameter) {
  RunJob(*static_cast<TDumpJob*>(parameter));
  return 0;
}

}  // namespace

bool WriteMinidump(const std::string& fileName, const TMinidumpFacts& facts, std::string& why) {
  Trace("WriteMinidump", {fileName, static_cast<uint32_t>(facts.ThreadId), facts.HasException}, 2);
  TDumpJob job{&fileName, &facts, std::string()};
  HANDLE thread = nullptr;
  if (GetCurrentThreadId() == facts.ThreadId && !rtl::HoldsLoaderLock())
    thread = CreateThread(nullptr, 0, JobThread, &job, 0, nullptr);
  if (thread) {
    // The job's file is written in well under a minute; a thread that hangs keeps its job
    // alive, so the wait ends only with the thread.
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  } else {
    RunJob(job);
  }
  why = job.Why;
  Trace("WriteMinidump=", {job.Done, why}, -2);
  return job.Done;
}

std::string KeptMinidumpName(const std::string& logFile, const SYSTEMTIME& time) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "-%04u%02u%02u-%02u%02u%02u.dmp", time.wYear, time.wMonth,
                time.wDay, time.wHour, time.wMinute, time.wSecond);
  return core::ChangeFileExt(logFile, "") + stamp;
}

}  // namespace vl::report
