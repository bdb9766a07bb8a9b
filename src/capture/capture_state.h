// The crash reporter's process-wide capture state: whether the interception is installed, the
// busy flag that serialises notifications, the threads whose exceptions are never notified, the
// last exception seen, and the seams through which the notification pipeline and the host
// handlers plug in.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <exception>

namespace vl::capture {

// Interception installed and the crash reporter active. Set last at start-up, cleared first at
// shut-down; every hook only forwards while it is off.
extern std::atomic<bool> CaptureInstalled;
// Intercepted exceptions may be notified (starts on).
extern std::atomic<bool> CatchingEnabled;
// The crash reporter runs in a library and the main program carries its own copy with a block:
// the raise hooks leave every exception to the main program's copy.
extern std::atomic<bool> HostCarriesLibrary;
// Written by the pipeline: the thread of the running notification worker, 0 when none.
extern std::atomic<DWORD> WorkerThreadId;
// The main thread, recorded at start-up.
extern std::atomic<DWORD> MainThreadId;

// ---- The busy flag (HandlingInProgress, HandlingThreadId) ----

// One atomic test-and-set that never waits: true when the flag was free and is now this
// thread's.
bool TryTakeHandling();
// Takes the flag for this thread, polling every 10 ms while another thread holds it. Never waits
// on the thread that holds it already or on the pipeline's worker: false there (an exception
// raised while one is handled is not notified).
bool TakeHandling();
void ReleaseHandling();
bool HandlingInProgress();
DWORD HandlingThreadId();

// ---- Ignored threads ----

void IgnoreThread(DWORD threadId);
void StopIgnoringThread(DWORD threadId);
bool IsThreadIgnored(DWORD threadId);
void ClearIgnoredThreads();

// ---- The last exception (LastExceptionObject, LastExceptionAddress, LastExceptionFromRaise) ----

struct TLastException {
  std::exception_ptr Object;  // keeps the thrown object alive beyond its catch
  void* Address = nullptr;
  bool FromRaise = false;
};
void SetLastException(std::exception_ptr object, void* address, bool fromRaise);
TLastException LastException();
void ClearLastException();

// ---- Seams ----

// The notification (filled by the pipeline). Context null, StackPointer 0 and StackBase 0 mean
// "the faulting thread's recorded raise state" (CurrentRaiseState). Returns true when the
// program's own handling is to run as well. Unset: nothing is notified and the program's own
// handling runs.
using TExceptNotifyProc = bool (*)(std::exception_ptr object, void* address, bool fromRaise,
                                   CONTEXT* context, uintptr_t stackPointer, uintptr_t stackBase);

// The notification on behalf of another thread (ThreadId), which waits meanwhile: its context
// and its stack from StackPointer to StackBase. Filled by the pipeline; unset, nothing is
// notified.
using TExceptNotifyForThreadProc = bool (*)(std::exception_ptr object, void* address,
                                            CONTEXT* context, uintptr_t stackPointer,
                                            uintptr_t stackBase, DWORD threadId);

// The capture's links to the notification above it, filled by the pipeline's unit.
struct TSeams {
  TExceptNotifyProc ExceptNotify = nullptr;
  TExceptNotifyForThreadProc ExceptNotifyForThread = nullptr;
};
namespace detail {
extern TSeams seams;
}
// A plain global behind an inline accessor: every raise reads ExceptNotify, which so costs no
// more than the procedure variable it was.
inline TSeams& Seams() { return detail::seams; }

// Calls Seams().ExceptNotify when set; true (the program's own handling) when unset.
bool CallExceptNotify(std::exception_ptr object, void* address, bool fromRaise, CONTEXT* context,
                      uintptr_t stackPointer, uintptr_t stackBase);

}  // namespace vl::capture
