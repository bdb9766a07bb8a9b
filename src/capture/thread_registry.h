// The thread registry: every thread the program creates through CreateThread is registered with
// the stack of the code that (last) resumed it, so that a report from inside the thread can show
// who started it.
//
// The executable's CreateThread, ResumeThread and ExitThread imports are redirected. A created
// thread always starts suspended in HookedThreadProc, which owns a copy of the program's start
// routine and parameter (the registry entry may be gone by then), runs the routine under a
// catch-all (an escaping exception was reported at its raise; the thread then ends with 0) and
// removes the thread's entry when the routine returns, so a reused thread ID never inherits a
// stranger's creator stack. A runtime thread object (rtl::ThreadWrapper running
// TThread::ThreadProc) is recognised at creation: its entry names the object, and the routine in
// its parameter block is replaced by HookedRTLThreadProc, which runs the kept thread-object
// routine and adds a traced frame at the bottom of every thread object's stack (also after
// shut-down, when it only forwards). Threads started by msvcrt (_beginthreadex, std::thread) use
// the C library's own imports and stay unregistered; their raises are still seen by the raise hook.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace vl::Classes {
class TThread;
}

namespace vl::capture {

struct TThreadEntry {
  DWORD ThreadId = 0;
  HANDLE ThreadHandle = nullptr;
  void* StartAddress = nullptr;  // the program's start routine
  void* Parameter = nullptr;     // the program's parameter
  uint32_t CreatorStackSize = 0;
  uint8_t* CreatorStack = nullptr;    // copy of the resumer's stack, from its position to its base
  uintptr_t CreatorStackAddress = 0;  // where the copy was taken (its lowest address)
  Classes::TThread* ThreadObject = nullptr;
};

// An owning list of thread entries with its own lock; every access between Lock and Unlock.
class TVantorThreadsList {
 public:
  TVantorThreadsList();
  ~TVantorThreadsList();
  TVantorThreadsList(const TVantorThreadsList&) = delete;
  TVantorThreadsList& operator=(const TVantorThreadsList&) = delete;

  void Lock();
  void Unlock();
  int Count() const { return static_cast<int>(FItems.size()); }
  TThreadEntry* Items(int index) const { return FItems[static_cast<size_t>(index)]; }
  // Takes ownership (the entry is freed on failure).
  void Add(TThreadEntry* entry);
  void Delete(int index);
  void Clear();
  int IndexOfHandle(HANDLE handle) const;
  int IndexOfThreadId(DWORD threadId) const;
  // Under the lock: deletes the calling thread's entry, if any.
  void RemoveCurrentThread();

 private:
  CRITICAL_SECTION FLock;
  std::vector<TThreadEntry*> FItems;
};

// The one registry; null while the capture is inactive.
TVantorThreadsList* ThreadRegistry();

// Start-up: creates the registry, then redirects the three imports of the crash reporter's
// module (a missing import is skipped). Shut-down: empties the registry, which itself stays until
// the process ends (the redirections stay and forward).
void CreateThreadRegistry();
void InstallThreadHooks();
void FreeThreadRegistry();

}  // namespace vl::capture

extern "C" {
HANDLE WINAPI HookedCreateThread(SECURITY_ATTRIBUTES* attributes, SIZE_T stackSize,
                                 LPTHREAD_START_ROUTINE start, void* parameter, DWORD flags,
                                 DWORD* threadId);
DWORD WINAPI HookedResumeThread(HANDLE thread);
void WINAPI HookedExitThread(DWORD exitCode);
DWORD WINAPI HookedThreadProc(void* block);
// Same signature as rtl::TThreadRec::Func.
DWORD HookedRTLThreadProc(void* threadObject);
}
