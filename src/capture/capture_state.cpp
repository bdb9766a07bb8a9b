#include "capture/capture_state.h"

#include <algorithm>
#include <new>
#include <vector>

namespace vl::capture {

std::atomic<bool> CaptureInstalled{false};
std::atomic<bool> CatchingEnabled{true};
std::atomic<bool> HostCarriesLibrary{false};
std::atomic<DWORD> WorkerThreadId{0};
std::atomic<DWORD> MainThreadId{0};
namespace detail {
TSeams seams;
}

namespace {

// The thread that holds the busy flag, 0 when free: one value, so no thread can see the flag
// taken by one thread and the owner's ID of another.
std::atomic<DWORD> g_handlingThread{0};

// A small spin lock: usable from any hook at any time, with no start-up order to respect.
class TSpinLock {
 public:
  void Lock() {
    while (FFlag.test_and_set(std::memory_order_acquire)) Sleep(0);
  }
  void Unlock() { FFlag.clear(std::memory_order_release); }

 private:
  std::atomic_flag FFlag = ATOMIC_FLAG_INIT;
};

struct TLocked {
  explicit TLocked(TSpinLock& lock) : FLock(lock) { FLock.Lock(); }
  ~TLocked() { FLock.Unlock(); }
  TSpinLock& FLock;
};

TSpinLock g_ignoredLock;
std::vector<DWORD>* g_ignored = nullptr;  // created on first use, freed by ClearIgnoredThreads

// The last exception lives in one slot, never freed (no allocation on a raise, and nothing to
// destroy at exit while another thread may still raise).
TSpinLock g_lastLock;
alignas(TLastException) unsigned char g_lastSlot[sizeof(TLastException)];
TLastException& LastSlot() {
  static TLastException* slot = new (g_lastSlot) TLastException();
  return *slot;
}

}  // namespace

bool TryTakeHandling() {
  DWORD expected = 0;
  return g_handlingThread.compare_exchange_strong(expected, GetCurrentThreadId(),
                                                  std::memory_order_acq_rel);
}

namespace {

// True when the thread has ended (or is gone): a thread that died inside the crash path cannot
// release the flag itself.
bool ThreadEnded(DWORD threadId) {
  HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, threadId);
  if (!thread) return GetLastError() == ERROR_INVALID_PARAMETER;
  const bool ended = WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
  CloseHandle(thread);
  return ended;
}

}  // namespace

bool TakeHandling() {
  const DWORD self = GetCurrentThreadId();
  for (unsigned round = 1;; ++round) {
    if (TryTakeHandling()) return true;
    DWORD owner = g_handlingThread.load(std::memory_order_acquire);
    if (owner == self || WorkerThreadId.load(std::memory_order_acquire) == self) return false;
    // Every half second: is the owner still there?
    if (owner != 0 && round % 50 == 0 && ThreadEnded(owner) &&
        g_handlingThread.compare_exchange_strong(owner, self, std::memory_order_acq_rel)) {
      return true;
    }
    Sleep(10);
  }
}

void ReleaseHandling() { g_handlingThread.store(0, std::memory_order_release); }
bool HandlingInProgress() { return g_handlingThread.load(std::memory_order_acquire) != 0; }
DWORD HandlingThreadId() { return g_handlingThread.load(std::memory_order_acquire); }

void IgnoreThread(DWORD threadId) {
  TLocked lock(g_ignoredLock);
  try {
    if (!g_ignored) g_ignored = new std::vector<DWORD>();
    if (std::find(g_ignored->begin(), g_ignored->end(), threadId) == g_ignored->end()) {
      g_ignored->push_back(threadId);
    }
  } catch (...) {
  }
}

void StopIgnoringThread(DWORD threadId) {
  TLocked lock(g_ignoredLock);
  if (!g_ignored) return;
  g_ignored->erase(std::remove(g_ignored->begin(), g_ignored->end(), threadId), g_ignored->end());
}

bool IsThreadIgnored(DWORD threadId) {
  TLocked lock(g_ignoredLock);
  return g_ignored && std::find(g_ignored->begin(), g_ignored->end(), threadId) != g_ignored->end();
}

void ClearIgnoredThreads() {
  std::vector<DWORD>* list;
  {
    TLocked lock(g_ignoredLock);
    list = g_ignored;
    g_ignored = nullptr;
  }
  delete list;
}

void SetLastException(std::exception_ptr object, void* address, bool fromRaise) {
  TLastException& last = LastSlot();
  {
    TLocked lock(g_lastLock);
    last.Object.swap(object);
    last.Address = address;
    last.FromRaise = fromRaise;
  }
  // The previous object is given back here, outside the lock: freeing it may run its destructor.
}

TLastException LastException() {
  TLastException& last = LastSlot();
  TLocked lock(g_lastLock);
  return last;
}

void ClearLastException() { SetLastException(nullptr, nullptr, false); }

bool CallExceptNotify(std::exception_ptr object, void* address, bool fromRaise, CONTEXT* context,
                      uintptr_t stackPointer, uintptr_t stackBase) {
  TExceptNotifyProc notify = detail::seams.ExceptNotify;
  if (!notify) return true;
  return notify(std::move(object), address, fromRaise, context, stackPointer, stackBase);
}

}  // namespace vl::capture
