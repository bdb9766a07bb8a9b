// The host layer's links to the parts above it (the capture's exception manager, the running
// options, the busy flag, the notification). The crash reporter's assembly fills them at start-up
// (vantorlog::ConnectSeams); tests fill them with stand-ins. An unset entry makes the host code
// inert in that respect (see each).
#pragma once

#include <windows.h>

namespace vl {

class TVantorModuleOptions;

namespace hosts {

struct TFrozenThreadState;

struct TSeams {
  // The capture's ExceptionManager: reports the exception being handled on this thread; true =
  // the framework's own handling runs too. Null: every framework replacement lets the framework
  // handle.
  bool (*ExceptionManager)() = nullptr;
  // The running module's options (WatchdogOn, WatchdogSeconds, WatchdogMessage). Null, or a
  // null result: the freeze watchdog is not started.
  const TVantorModuleOptions* (*CurrentOptions)() = nullptr;
  // Takes the process-wide busy flag for OwnerThreadId without waiting; false when another
  // notification holds it. Null: never busy.
  bool (*TryTakeHandling)(DWORD ownerThreadId) = nullptr;
  void (*ReleaseHandling)() = nullptr;
  // Reports a freeze (runs on the watchdog thread, with the busy flag held). Must not raise;
  // what it raises is dropped. Null: nothing is reported.
  void (*NotifyFreeze)(const TFrozenThreadState& state) = nullptr;
};
TSeams& Seams();

}  // namespace hosts

}  // namespace vl
