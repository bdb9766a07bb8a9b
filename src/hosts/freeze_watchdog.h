// The freeze watchdog: a background thread that probes the main thread's main window and, when
// it has not answered for the threshold (freeze_cycle.h), captures the main thread and hands
// the capture to the notification as an EFrozenApplication.
//
// The capture is short and does nothing that could wait for the frozen thread: the busy flag
// is taken (without waiting) before the main thread is suspended; while it is suspended only
// its registers are read and [stack pointer, stack base) is copied into a buffer reserved when
// the watchdog started (no allocation, no trace, no lock: the frozen thread may hold the heap's
// lock); it is resumed before the notification runs from the registers and the copy. The
// watchdog only ever probes the main thread's own windows (never a window of another thread),
// and sends nothing to them but the probe.
#pragma once

#include <windows.h>

#include <cstdint>
#include <exception>
#include <string>

#include "hosts/freeze_cycle.h"
#include "hosts/hosts_seams.h"
#include "runtime/thread.h"

namespace vl {

class TVantorModuleOptions;

namespace hosts {

// One capture of the frozen main thread, valid for the duration of the notification call.
struct TFrozenThreadState {
  DWORD ThreadId = 0;  // the main thread: the report names it as the faulting thread
  CONTEXT Context;     // its registers (full context)
  uintptr_t InstructionPointer = 0;
  uintptr_t StackPointer = 0;
  uintptr_t StackBase = 0;
  // The copy of the main thread's stack from StackPointer (at StackCopy[0]) up to StackBase.
  const uint8_t* StackCopy = nullptr;
  size_t StackCopySize = 0;
  // An EFrozenApplication carrying the watchdog message.
  std::exception_ptr Error;
  // How long the main thread stood suspended for this capture, in microseconds.
  uint64_t SuspendedMicroseconds = 0;
};

class TFreezeThread : public Classes::TThread {
 public:
  // Created suspended; WatchdogSeconds and Message are taken now. The stack buffer is reserved
  // here: its size is the main thread's whole stack reservation.
  TFreezeThread(int32_t watchdogSeconds, std::string message);
  ~TFreezeThread() override;

  // Ends the thread from another thread inside a DLL's detach, where it cannot be waited for:
  // when no capture or notification runs, terminates it and returns true; otherwise only sets
  // the stop request and returns false at once (the object must then stay alive).
  bool TerminateWhenIdle();

  // The window being probed (null while searching); for tests and traces.
  HWND Window() const { return FWindow; }

 protected:
  void Execute() override;

 private:
  class TEnvironment;
  TFreezeOutcome CaptureAndNotify();
  bool Capture(TFrozenThreadState& state);
  HWND FindMainWindow() const;

  int32_t FSeconds;
  std::string FMessage;
  uint8_t* FStackBuffer = nullptr;
  size_t FStackBufferSize = 0;
  volatile HWND FWindow = nullptr;
  CRITICAL_SECTION FWorkLock;
  TFrozenThreadState FState;
};

// Starts the watchdog when none runs, the current options have WatchdogOn, the main thread has
// been noted and the process is not the development environment.
void StartFreezeWatchdog();
// Stops and frees the watchdog. On the watchdog's own thread (a handler switching WatchdogOn
// off) it only sets the stop request; in a DLL it never waits: an idle thread is ended, a busy
// one is left to finish (its library is pinned from its first capture on).
void StopFreezeWatchdog();
bool FreezeWatchdogRunning();

}  // namespace hosts

}  // namespace vl
