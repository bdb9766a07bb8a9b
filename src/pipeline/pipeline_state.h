// The notification's process-wide state: the exception record handed to every handler and read
// by the report, dialog and delivery code, the flags the steps pass on to each other, and the
// three kinds of event handler a program may attach.
//
// One notification runs at a time (the capture's busy flag serialises them), so the state needs
// no lock of its own; PendingCall has one because two threads use it.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "capture/call_stack.h"
#include "report/report_blocks.h"

namespace vl {

class TVantorModuleOptionsEx;
namespace modules {
class TVantorModulesList;
}

namespace pipeline {

// Where a notification takes the faulting thread's registers and stack from. A null Context,
// StackPointer 0 or StackBase 0 mean "the faulting thread's own" (its recorded raise state, its
// stack base). ThreadId 0 means the calling thread. A stack copy (the frozen main thread's,
// taken by the freeze watchdog) is walked instead of the live stack: StackCopy[0] is the byte at
// StackPointer.
struct TExceptNotifyParams {
  CONTEXT* Context = nullptr;
  uintptr_t StackBase = 0;
  uintptr_t StackPointer = 0;
  DWORD ThreadId = 0;
  std::string ActiveControlClass;
  std::string ActiveControlText;
  const uint8_t* StackCopy = nullptr;
  size_t StackCopySize = 0;
  // The operating system's record of a fault (its context is Context); null for a C++ raise,
  // whose minidump gets a record of its own.
  const EXCEPTION_RECORD* FaultRecord = nullptr;
};

// The exception being reported. Filled once the call stack is known; valid until the end of
// the notification.
struct TVantorExceptionRecord {
  std::exception_ptr ExceptionObject;
  void* ExceptionAddress = nullptr;
  DWORD ThreadId = 0;
  std::string ReportText;
  modules::TVantorModulesList* Modules = nullptr;
  capture::TVantorStackList* CallStack = nullptr;
  TVantorModuleOptionsEx* Options = nullptr;
  // The object's class name and message, read once without rethrowing it ("Unknown exception
  // type." without an object; empty message when it carries none).
  std::string ClassName;
  std::string Message;
};

// Action codes of the action and error handlers.
enum TVantorAction : int {
  atShowingException = 0,
  atShowedException = 1,
  atSavingLog = 2,
  atSavedLog = 3,
  atSendingEmail = 4,
  atSentEmail = 5,
  atTerminating = 6,
};

// The handlers. Each kind may be attached as a procedure and through an object; when both are,
// the object's is called first. Handlers run on the faulting thread (CallOnExceptionThread);
// what they raise is swallowed.
using TNotifyHandlerProc = void (*)(TVantorExceptionRecord& record, bool& handle);
using TActionHandlerProc = void (*)(const TVantorExceptionRecord& record, int action, bool& result);
using TErrorHandlerProc = void (*)(const TVantorExceptionRecord& record, int action, bool& retry);
extern TNotifyHandlerProc NotifyHandler;
extern TActionHandlerProc ActionHandler;
extern TErrorHandlerProc ErrorHandler;

// The object form: empty members are not attached.
struct TVantorLogEvents {
  std::function<void(TVantorExceptionRecord& record, bool& handle)> OnNotify;
  std::function<void(const TVantorExceptionRecord& record, int action, bool& result)> OnAction;
  std::function<void(const TVantorExceptionRecord& record, int action, bool& retry)> OnError;
};
// Attaches (or, with null, detaches) the object; it is not owned.
void AttachEvents(TVantorLogEvents* events);
TVantorLogEvents* AttachedEvents();

bool HasNotifyHandler();
bool HasActionHandler();
bool HasErrorHandler();

// The steps of a notification (InternalExceptNotify), in order. A step's number names the
// internal-error section of a failure inside it ("InternalExceptNotify.13": while the exception
// was shown), which logs and their readers refer to, so every step keeps its number.
enum class TNotifyStep : int {
  None = 0,
  Options = 1,               // the options in force, the record cleared
  Filters = 2,               // the exception filters (and a filter's message box)
  RaiseState = 3,            // the raise's stack bounds and registers
  CallStack = 4,             // the call stack walked
  CreatorStack = 5,          // the creating thread's stack appended
  FirstEntryTwice = 6,       // a doubled first entry dropped
  Report = 7,                // the report built, the notify handler
  NotifyVerdict = 8,         // the notify handler's verdict
  Count = 9,                 // the error counted
  Screenshot = 10,           // the screenshot taken
  Minidump = 11,             // the minidump written
  ActionBeforeShowing = 12,  // the action handler before showing
  Showing = 13,              // the exception dialog shown
  AfterShowing = 14,         // the action handler after showing, the reproduction question
  LogAndClipboard = 15,      // the log saved, the report copied
  Delivery = 16,             // the mail and the upload
  ClearCallStack = 17,       // the call stack released
  TerminateCheck = 18,       // a requested end looked at
  Terminating = 19,          // the program restarted or ended
};

// The state the steps share.
struct TPipelineState {
  TVantorExceptionRecord* CurrentExceptionRecord = nullptr;  // set from the report on
  int32_t ErrorCount = 0;            // exceptions reported since start; never reset
  std::string ErrorMessage;          // as shown
  bool HandleFlag = true;            // false: the notify handler cancelled
  bool StepResult = true;            // the action handler's verdict, the showing step's result
  bool Retry = false;                // the error handler's verdict
  bool SendRequested = false;        // starts as MailMode != mmNone
  bool ScreenshotRequested = false;  // starts as AddScreenshot
  bool CopyToClipboardRequested = false;
  bool TerminateRequested = false;  // process-wide, never reset
  bool IsDuplicate = false;
  std::string ReproductionText;
  std::string RemoteTypeName;
  std::string RemoteMessage;
  // The report's blocks, the header line, the send text and the duplicate values.
  report::TReportBlocks Blocks;
  report::TReportFacts Facts;
  // The screenshot's file, empty when none was taken.
  std::string ScreenshotFile;
  // The minidump's file, empty when none was written; Kept: it stays beside the log
  // (AttachMinidump), else it is a temporary file for the upload, deleted at the end.
  std::string MinidumpFile;
  bool MinidumpKept = false;
  // The step running, for the internal-bug section name.
  TNotifyStep Step = TNotifyStep::None;
};
TPipelineState& State();

// The worker's progress, which the waiting thread's deadline reads: when the last step began,
// and how many calls out of the reporter's own work are running (a dialog, the program's
// handlers, the delivery: they wait on the user or keep their own time-outs, and the deadline
// does not count while one runs). A worker given up on ends at its next step.
struct TStepClock {
  std::atomic<uint32_t> LastStepTick{0};
  std::atomic<int> CallsOut{0};
  std::atomic<uint32_t> AbandonedWorker{0};
};
TStepClock& StepClock();

// Begins Step of the notification (see TPipelineState::Step).
void EnterStep(TPipelineState& state, TNotifyStep step);

// While one lives, the deadline does not count (a call out of the reporter's own work).
struct TCallOut {
  TCallOut() { ++StepClock().CallsOut; }
  ~TCallOut() {
    if (StepClock().AbandonedWorker.load() != GetCurrentThreadId()) --StepClock().CallsOut;
  }
  TCallOut(const TCallOut&) = delete;
  TCallOut& operator=(const TCallOut&) = delete;
};

// The working options: the faulting module's options are copied into it for each notification.
// Null while the crash reporter is inactive.
TVantorModuleOptionsEx* WorkingOptions();

// The options of the running module (its entry in the module list). Raises EAssertionFailed
// ("Cannot use 'CurrentVantorLogOptions' function without VantorLog activate.") when the crash
// reporter is inactive or the module has no entry.
TVantorModuleOptionsEx* CurrentVantorLogOptions();

}  // namespace pipeline

}  // namespace vl
