// The entry of a notification and the threads it runs on.
//
// An exception of the main thread is reported by a worker thread (TExceptionThread) while the
// main thread waits inside ExceptNotify: its stack and registers stay as they were at the raise,
// it keeps its windows painted (everything else in its queue is dropped; a WM_QUIT is kept for
// later) and runs, on the worker's request, the program's event handlers (PendingCall). Every
// other thread, a program in the development environment and a library inside its entry point
// (loader lock: no thread may start) run the steps on the faulting thread itself.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>

#include "pipeline/pipeline_state.h"
#include "runtime/thread.h"

namespace vl::pipeline {

// Runs the whole notification for the calling (faulting) thread; true when the program's own
// handling is to run as well (the crash reporter is inactive, or the notify handler cancelled).
// Never raises. This is the capture's notification procedure.
bool ExceptNotify(std::exception_ptr object, void* address, bool fromRaise, CONTEXT* context,
                  uintptr_t stackPointer, uintptr_t stackBase);
// The same with every parameter: a thread-ID override names another thread as the faulting one
// (the freeze watchdog reports the main thread) and a stack copy is walked instead of the live
// stack. With an override the steps run on the calling thread.
bool ExceptNotifyWith(std::exception_ptr object, void* address, bool fromRaise,
                      const TExceptNotifyParams& params);

// The steps themselves, on the calling thread.
bool InternalExceptNotify(std::exception_ptr object, void* address, bool fromRaise,
                          TExceptNotifyParams params);

// Runs Procedure on the faulting thread: from the worker (recognised by the capture's
// WorkerThreadId) through PendingCall, waiting until it ran; on any other thread at once. What
// it raises is swallowed. Then the exception's cross-module data is written again.
void CallOnExceptionThread(const std::function<void()>& procedure);

// The worker. Made for one notification (created suspended by ExceptNotify, which records its
// ID before it starts), or standing: a program (not a library) keeps one worker waiting from
// the pipeline's start, so that a notification does not wait for a thread to start (about a
// millisecond under Wine); it takes one job at a time (Give) and waits for the next. A standing
// worker that dies or is given up is replaced after the notification.
class TExceptionThread : public Classes::TThread {
 public:
  TExceptionThread(std::exception_ptr object, void* address, bool fromRaise,
                   const TExceptNotifyParams& params);
  // A standing worker, running and waiting for its first job.
  TExceptionThread();
  ~TExceptionThread() override;
  // On the faulting thread: takes its state as the constructor does and wakes the worker.
  void Give(std::exception_ptr object, void* address, bool fromRaise,
            const TExceptNotifyParams& params);
  // Ends a standing worker that waits for a job; true when it ended within the time.
  bool Retire(DWORD milliseconds);
  // Signalled when a standing worker finished a job; null for a one-job worker.
  HANDLE JobDone() const { return FJobDone; }
  volatile bool Running = true;
  bool NotifyResult = false;

 protected:
  void Execute() override;

 private:
  void Take(std::exception_ptr object, void* address, bool fromRaise,
            const TExceptNotifyParams& params);
  void RunJob();
  std::exception_ptr FObject;
  void* FAddress = nullptr;
  bool FFromRaise = false;
  TExceptNotifyParams FParams;
  CONTEXT FContext;
  EXCEPTION_RECORD FRecord;
  HANDLE FJobReady = nullptr;
  HANDLE FJobDone = nullptr;
};

// The standing worker: made by the pipeline's start in a program, ended by its stop.
void StartStandingWorker();
void StopStandingWorker();

// The main thread's wait for the worker, until its thread ends: the message filter runs and the
// calls the worker leaves for this thread are made meanwhile. The worker's result; true (the
// program's own handling goes on) and an internal error when the thread ended without one, or
// when no step began for WorkerDeadlineMs while the reporter was doing its own work (dialogs,
// handlers and delivery do not count). Abandoned is then set: the worker may still run, so
// its object must be left alone; it ends at its next step.
bool WaitForWorker(TExceptionThread& worker, bool& abandoned);

// 30 s; a test may shorten it.
extern uint32_t WorkerDeadlineMs;

// One pass of the waiting main thread's message filter (up to 11 messages). A WM_QUIT taken
// out of the queue is remembered; RepostQuit puts it back once the wait is over.
void FilterMessages();
void RepostQuit();

}  // namespace vl::pipeline
