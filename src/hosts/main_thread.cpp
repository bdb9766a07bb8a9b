#include "hosts/main_thread.h"

namespace vl::hosts {

namespace {
TMainThread g_main;

// This thread's information block (its TEB starts with the NT_TIB); read directly because the
// header's inline NtCurrentTeb trips the compiler's bounds check.
NT_TIB* CurrentTib() {
  void* teb;
#if defined(__x86_64__)
  __asm__("movq %%gs:0x30, %0" : "=r"(teb));
#else
  __asm__("movl %%fs:0x18, %0" : "=r"(teb));
#endif
  return static_cast<NT_TIB*>(teb);
}
}  // namespace

bool NoteMainThread() {
  if (g_main.Handle) return true;
  HANDLE handle = nullptr;
  if (!DuplicateHandle(
          GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &handle,
          THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION | SYNCHRONIZE,
          FALSE, 0))
    return false;
  auto* tib = CurrentTib();
  TMainThread facts;
  facts.ThreadId = GetCurrentThreadId();
  facts.Handle = handle;
  facts.StackBase = reinterpret_cast<uintptr_t>(tib->StackBase);
  // The whole reservation, not the committed part the TIB's limit names.
  MEMORY_BASIC_INFORMATION info = {};
  if (VirtualQuery(reinterpret_cast<void*>(facts.StackBase - 1), &info, sizeof info))
    facts.StackLimit = reinterpret_cast<uintptr_t>(info.AllocationBase);
  else
    facts.StackLimit = reinterpret_cast<uintptr_t>(tib->StackLimit);
  g_main = facts;
  return true;
}

void ForgetMainThread() {
  if (g_main.Handle) CloseHandle(g_main.Handle);
  g_main = TMainThread();
}

const TMainThread& MainThread() { return g_main; }

}  // namespace vl::hosts
