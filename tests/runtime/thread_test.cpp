#include "runtime/thread.h"

#include <gtest/gtest.h>

#include <atomic>

#include "runtime/exceptions.h"

using namespace vl;

namespace {

std::atomic<int> g_destroyed{0};
std::atomic<int> g_bodiesRun{0};

class TCounter : public Classes::TThread {
 public:
  explicit TCounter(bool suspended, int target) : TThread(suspended), target_(target) {}
  ~TCounter() override { ++g_destroyed; }
  std::atomic<int> runs{0};
  DWORD ranOn = 0;

 protected:
  void Execute() override {
    ++g_bodiesRun;
    ranOn = GetCurrentThreadId();
    ++runs;
    ReturnValue = static_cast<DWORD>(target_);
    if (target_ < 0) throw EConvertError("negative");
  }

 private:
  int target_;
};

}  // namespace

TEST(TThread, SuspendedStartResumeAndWait) {
  auto* t = Classes::TThread::Create<TCounter>(true, 42);
  Sleep(50);
  EXPECT_EQ(t->runs, 0);
  EXPECT_TRUE(t->Suspended());
  t->Resume();
  EXPECT_EQ(t->WaitFor(), 42u);
  EXPECT_EQ(t->runs, 1);
  EXPECT_EQ(t->ranOn, t->ThreadID());
  EXPECT_NE(t->ranOn, GetCurrentThreadId());
  EXPECT_TRUE(t->Finished());
  delete t;
}

TEST(TThread, FreeOnTerminateDeletesTheObject) {
  int before = g_destroyed;
  auto* t = Classes::TThread::Create<TCounter>(true, 7);
  t->FreeOnTerminate = true;
  HANDLE handle;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), t->Handle(), GetCurrentProcess(), &handle, 0,
                              FALSE, DUPLICATE_SAME_ACCESS));
  t->Resume();
  ASSERT_EQ(WaitForSingleObject(handle, 10000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeThread(handle, &code);
  CloseHandle(handle);
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(g_destroyed, before + 1);
}

TEST(TThread, ExceptionInExecuteIsKeptAsFatalException) {
  auto* t = Classes::TThread::Create<TCounter>(false, -1);
  t->WaitFor();
  ASSERT_TRUE(t->FatalException);
  EXPECT_THROW(std::rethrow_exception(t->FatalException), EConvertError);
  delete t;
}

TEST(TThread, DestroyingASuspendedThreadEndsItWithoutRunningTheBody) {
  int before = g_bodiesRun;
  auto* t = Classes::TThread::Create<TCounter>(true, 1);
  delete t;  // terminates, resumes and waits: the body sees Terminated and does not run
  EXPECT_EQ(g_bodiesRun, before);
}
