#include "runtime/thread.h"

#include "runtime/exceptions.h"
#include "runtime/system.h"

namespace vl::rtl {

DWORD WINAPI ThreadWrapper(void* threadRec) {
  TThreadRec rec = *static_cast<TThreadRec*>(threadRec);
  delete static_cast<TThreadRec*>(threadRec);
  try {
    return rec.Func(rec.Parameter);
  }
  VL_PASS_FORCED_UNWIND catch (...) {
    ExceptProc(std::current_exception(), RaiseAddress());
    return 1;
  }
}

HANDLE BeginThread(SECURITY_ATTRIBUTES* attributes, DWORD stackSize, DWORD (*func)(void*),
                   void* parameter, DWORD creationFlags, DWORD* threadId) {
  auto* rec = new TThreadRec{func, parameter};
  HANDLE handle = CreateThread(attributes, stackSize, ThreadWrapper, rec, creationFlags, threadId);
  if (!handle) delete rec;
  return handle;
}

}  // namespace vl::rtl

namespace vl::Classes {

TThread::TThread(bool createSuspended) : FCreateSuspended(createSuspended) {
  FHandle = rtl::BeginThread(nullptr, 0, &TThread::ThreadProc, this, CREATE_SUSPENDED, &FThreadID);
  if (!FHandle) {
    DWORD error = GetLastError();
    throw EOSError(Format("Thread creation error: %s", rtl::SysErrorMessage(error).c_str()), error);
  }
}

TThread::~TThread() {
  if (FThreadID != 0 && !FFinished && GetCurrentThreadId() != FThreadID) {
    Terminate();
    if (FSuspended) Resume();
    WaitFor();
  }
  if (FHandle) CloseHandle(FHandle);
}

void TThread::AfterConstruction() {
  if (!FCreateSuspended) Resume();
}

void TThread::Resume() {
  DWORD previous = ResumeThread(FHandle);
  if (previous == 1) FSuspended = false;
}

void TThread::Suspend() {
  FSuspended = true;
  SuspendThread(FHandle);
}

DWORD TThread::WaitFor() {
  WaitForSingleObject(FHandle, INFINITE);
  DWORD code = 0;
  GetExitCodeThread(FHandle, &code);
  return code;
}

DWORD TThread::ThreadProc(void* thread) {
  auto* self = static_cast<TThread*>(thread);
  self->FSuspended = false;
  if (!self->FTerminated) {
    try {
      self->Execute();
    }
    VL_PASS_FORCED_UNWIND catch (...) { self->FatalException = std::current_exception(); }
  }
  const bool freeThread = self->FreeOnTerminate;
  const DWORD result = self->ReturnValue;
  self->FFinished = true;
  if (freeThread) delete self;
  return result;
}

}  // namespace vl::Classes
