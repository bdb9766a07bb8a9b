// Threads of the runtime. Every thread the runtime starts (thread objects included) begins in
// one thread-start wrapper, ThreadWrapper, whose parameter block names the routine to run; a
// crash reporter recognises runtime threads by that start address and that routine.
#pragma once

#include <windows.h>

#include <exception>

namespace vl::rtl {

// The thread-start wrapper's parameter block: first the routine to run, then its parameter.
struct TThreadRec {
  DWORD (*Func)(void* parameter);
  void* Parameter;
};

// The thread-start wrapper. Takes ownership of its TThreadRec (allocated with new); an
// exception that escapes the routine goes to the unhandled-exception procedure.
DWORD WINAPI ThreadWrapper(void* threadRec);

// Starts Func(Parameter) on a new thread through ThreadWrapper (CreateThread's contract).
HANDLE BeginThread(SECURITY_ATTRIBUTES* attributes, DWORD stackSize, DWORD (*func)(void*),
                   void* parameter, DWORD creationFlags, DWORD* threadId);

}  // namespace vl::rtl

namespace vl::Classes {

// A thread object: Execute runs on its own thread. The thread is always created suspended and
// is resumed by AfterConstruction unless CreateSuspended was asked for (so that Execute never
// runs before the object is fully constructed); use TThread::Create<T>(...) to get both steps.
class TThread {
 public:
  explicit TThread(bool createSuspended);
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  template <class T, class... Args>
  static T* Create(Args&&... args) {
    T* thread = new T(static_cast<Args&&>(args)...);
    thread->AfterConstruction();
    return thread;
  }
  void AfterConstruction();

  void Resume();
  void Suspend();
  // Asks Execute to stop: sets Terminated, which Execute is expected to poll.
  void Terminate() { FTerminated = true; }
  // Waits for the thread to end and returns its ReturnValue.
  DWORD WaitFor();

  bool Terminated() const { return FTerminated; }
  bool Suspended() const { return FSuspended; }
  bool Finished() const { return FFinished; }
  HANDLE Handle() const { return FHandle; }
  DWORD ThreadID() const { return FThreadID; }

  // Set before the thread ends: the object deletes itself when Execute has returned.
  bool FreeOnTerminate = false;
  DWORD ReturnValue = 0;
  // The exception that escaped Execute, if any.
  std::exception_ptr FatalException;

  // The thread-object procedure: runs a thread object's body on its thread.
  static DWORD ThreadProc(void* thread);

 protected:
  virtual void Execute() = 0;

 private:
  HANDLE FHandle = nullptr;
  DWORD FThreadID = 0;
  bool FCreateSuspended;
  volatile bool FSuspended = true;
  volatile bool FTerminated = false;
  volatile bool FFinished = false;
};

}  // namespace vl::Classes
