// Facts about the program's main thread that other threads need: its ID, a handle with the
// rights to suspend it and read its registers, and its stack's extent. Noted once, on the main
// thread, at start-up (before anything may watch it).
#pragma once

#include <windows.h>

#include <cstdint>

namespace vl::hosts {

struct TMainThread {
  DWORD ThreadId = 0;
  // THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION | SYNCHRONIZE.
  HANDLE Handle = nullptr;
  uintptr_t StackBase = 0;   // the stack's upper end (exclusive), from the thread's TIB
  uintptr_t StackLimit = 0;  // the lowest address the stack may grow to (its reservation)
};

// Call on the main thread. Returns false (and notes nothing) when the handle cannot be made.
bool NoteMainThread();
// Closes the handle and forgets the facts.
void ForgetMainThread();
// The facts noted; ThreadId 0 when none were.
const TMainThread& MainThread();

}  // namespace vl::hosts
