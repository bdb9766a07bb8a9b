// The capture in a program that carries a data block: which raises are notified (the handled
// test against what really catches), what the raise state records, and the busy flag, with a
// recording notification. GoogleTest's own catch-all surrounds every test body, so raises that
// must be unhandled happen on threads (the runtime's thread guards are no handlers).
#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_state.h"
#include "capture/capture_unit.h"
#include "capture/raise_hook.h"
#include "capture/raise_state.h"
#include "capture/recorder.h"
#include "capture/thread_registry.h"
#include "core/core_unit_win.h"
#include "runtime/exceptions.h"
#include "runtime/thread.h"

using capturetest::Note;
using capturetest::Recorder;

namespace {

struct ECustom : Exception {
  using Exception::Exception;
};
struct EOther : Exception {
  using Exception::Exception;
};

[[noreturn]] __attribute__((noinline)) void ThrowCustom(const char* message) {
  throw ECustom(message);
}

struct Guard {
  int* counter;
  ~Guard() { ++*counter; }
};

void Level(int depth, int* destroyed);
void (*volatile g_level)(int, int*) = Level;

__attribute__((noinline)) void Level(int depth, int* destroyed) {
  Guard g{destroyed};
  if (depth > 0) {
    g_level(depth - 1, destroyed);
  } else {
    ThrowCustom("deep");
  }
  asm volatile("");
}

// Runs Body on a runtime thread object and waits for it.
class BodyThread : public Classes::TThread {
 public:
  explicit BodyThread(void (*body)()) : TThread(true), FBody(body) {}

 protected:
  void Execute() override { FBody(); }

 private:
  void (*FBody)();
};

std::vector<Note> RunOnThread(void (*body)()) {
  Recorder::Instance().Take();
  auto* t = Classes::TThread::Create<BodyThread>(body);
  t->Resume();
  t->WaitFor();
  delete t;
  return Recorder::Instance().Take();
}

DWORD WINAPI IgnoredThreadBody(void*) {
  capture::IgnoreThread(GetCurrentThreadId());
  try {
    ThrowCustom("ignored");
  } catch (const EOther&) {
  }
  return 0;
}

std::vector<Note> RunHere(void (*body)()) {
  Recorder::Instance().Take();
  body();
  return Recorder::Instance().Take();
}

}  // namespace

TEST(CaptureHandledTest, CaughtRaisesAreNotNotified) {
  ASSERT_TRUE(capture::CaptureInstalled.load());
  const struct {
    const char* name;
    void (*body)();
  } rows[] = {
      {"catch-all in the caller",
       [] {
         try {
           ThrowCustom("a");
         } catch (...) {
         }
       }},
      {"typed match",
       [] {
         try {
           ThrowCustom("b");
         } catch (const Exception& e) {
         }
       }},
      {"mismatch under an outer catch-all",
       [] {
         try {
           try {
             ThrowCustom("c");
           } catch (const EOther&) {
           }
         } catch (...) {
         }
       }},
      {"four frames up through destructors",
       [] {
         int destroyed = 0;
         try {
           Level(3, &destroyed);
         } catch (const ECustom&) {
         }
         if (destroyed != 4) std::abort();
       }},
      {"rethrow caught further out",
       [] {
         try {
           try {
             ThrowCustom("d");
           } catch (...) {
             throw;
           }
         } catch (const ECustom&) {
         }
       }},
      {"string::at caught as std::exception",
       [] {
         try {
           std::string s;
           (void)s.at(3);
         } catch (const std::exception&) {
         }
       }},
  };
  for (const auto& row : rows) {
    EXPECT_TRUE(RunOnThread(row.body).empty()) << row.name;
    EXPECT_TRUE(RunHere(row.body).empty()) << row.name;
  }
}

TEST(CaptureHandledTest, RaisesOnlyTheThreadGuardCatchesAreNotifiedOnce) {
  const struct {
    const char* name;
    void (*body)();
    const char* className;
    const char* message;
  } rows[] = {
      {"plain escape", [] { ThrowCustom("escape"); }, "ECustom", "escape"},
      {"typed mismatch",
       [] {
         try {
           ThrowCustom("mismatch");
         } catch (const EOther&) {
         }
       },
       "ECustom", "mismatch"},
      {"throw; of a caught one",
       [] {
         try {
           ThrowCustom("again");
         } catch (const EOther&) {
         } catch (...) {
           throw;
         }
       },
       "ECustom", "again"},
      {"rethrow_exception",
       [] {
         std::exception_ptr p;
         try {
           ThrowCustom("stored");
         } catch (...) {
           p = std::current_exception();
         }
         std::rethrow_exception(p);
       },
       "ECustom", "stored"},
      {"string::at",
       [] {
         std::string s;
         (void)s.at(7);
       },
       "out_of_range", ""},
      {"int", [] { throw 42; }, "int", ""},
  };
  for (const auto& row : rows) {
    std::vector<Note> notes = RunOnThread(row.body);
    ASSERT_EQ(notes.size(), 1u) << row.name;
    EXPECT_EQ(notes[0].ClassName, row.className) << row.name;
    if (*row.message) {
      EXPECT_EQ(notes[0].Message, row.message) << row.name;
    }
    EXPECT_TRUE(notes[0].FromRaise) << row.name;
    EXPECT_EQ(notes[0].ContextFlags, capture::RaiseContextFlags) << row.name;
    EXPECT_NE(notes[0].StackPointer, 0u) << row.name;
  }
}

TEST(CaptureHandledTest, AbortIsRecordedButNeverNotified) {
  capture::ClearLastException();
  std::vector<Note> notes = RunOnThread([] { throw EAbort(); });
  EXPECT_TRUE(notes.empty());
  capture::TLastException last = capture::LastException();
  ASSERT_TRUE(last.Object);
  EXPECT_EQ(rtl::ExceptionClassName(last.Object), "EAbort");
}

TEST(CaptureHandledTest, TheLastExceptionOutlivesItsCatch) {
  capture::ClearLastException();
  try {
    ThrowCustom("kept");
  } catch (...) {
  }
  capture::TLastException last = capture::LastException();
  ASSERT_TRUE(last.Object);
  EXPECT_EQ(rtl::ExceptionMessage(last.Object), "kept");
  EXPECT_TRUE(last.FromRaise);
  EXPECT_NE(last.Address, nullptr);
}

TEST(CaptureHandledTest, ARecorderThatRaisesKeepsTheOriginalAndNotifiesOnce) {
  for (int mode : {1, 2}) {
    Recorder::Instance().Mode = mode;
    std::vector<Note> notes = RunOnThread([] { ThrowCustom("original"); });
    Recorder::Instance().Mode = 0;
    ASSERT_EQ(notes.size(), 1u) << mode;
    EXPECT_EQ(notes[0].Message, "original") << mode;
    EXPECT_FALSE(capture::HandlingInProgress()) << mode;
  }
}

TEST(CaptureHandledTest, IgnoredThreadsAndSwitchedOffCatchingAreQuiet) {
  capture::CatchingEnabled = false;
  EXPECT_TRUE(RunOnThread([] { ThrowCustom("off"); }).empty());
  capture::CatchingEnabled = true;
  Recorder::Instance().Take();
  DWORD id = 0;
  HANDLE h = CreateThread(nullptr, 0, IgnoredThreadBody, nullptr, 0, &id);
  ASSERT_NE(h, nullptr);
  WaitForSingleObject(h, 10000);
  CloseHandle(h);
  capture::StopIgnoringThread(id);
  EXPECT_TRUE(Recorder::Instance().Take().empty());
}

TEST(CaptureHandledTest, EightThreadsRaisingAtOnceAreEachNotifiedOnceWithoutOverlap) {
  Recorder::Instance().Take();
  Recorder::Instance().MostAtOnce = 0;
  std::vector<Classes::TThread*> threads;
  for (int i = 0; i < 8; ++i) {
    threads.push_back(Classes::TThread::Create<BodyThread>([] { ThrowCustom("parallel"); }));
  }
  for (auto* t : threads) t->Resume();
  for (auto* t : threads) {
    EXPECT_EQ(WaitForSingleObject(t->Handle(), 20000), WAIT_OBJECT_0);
    delete t;
  }
  std::vector<Note> notes = Recorder::Instance().Take();
  EXPECT_EQ(notes.size(), 8u);
  std::vector<DWORD> ids;
  for (const Note& n : notes) ids.push_back(n.ThreadId);
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(std::unique(ids.begin(), ids.end()), ids.end());
  EXPECT_EQ(Recorder::Instance().MostAtOnce.load(), 1);
}

TEST(CaptureHandledTest, TryTakeNeverWaits) {
  ASSERT_TRUE(capture::TryTakeHandling());
  EXPECT_EQ(capture::HandlingThreadId(), GetCurrentThreadId());
  bool other = true;
  std::thread t([&] { other = capture::TryTakeHandling(); });
  t.join();
  EXPECT_FALSE(other);
  // The holder itself does not wait either: a raise while handling is not notified.
  EXPECT_FALSE(capture::TakeHandling());
  capture::ReleaseHandling();
  EXPECT_FALSE(capture::HandlingInProgress());
}

#if defined(__x86_64__)
// 64-bit: the walk passes frames without a GCC handler (msvcrt's qsort), as the unwinder does:
// the prediction and the outcome agree.
TEST(CaptureHandledTest, ThrowThroughQsortIsPredictedAsCaught) {
  Recorder::Instance().Take();
  bool caught = false;
  try {
    int values[3] = {3, 1, 2};
    qsort(values, 3, sizeof(int), [](const void*, const void*) -> int { ThrowCustom("cmp"); });
  } catch (const ECustom&) {
    caught = true;
  }
  EXPECT_TRUE(caught);
  EXPECT_TRUE(capture::CurrentRaiseState().HandledKnown);
  EXPECT_TRUE(capture::CurrentRaiseState().Handled);
  EXPECT_TRUE(Recorder::Instance().Take().empty());
}
#endif

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  core::InstallCorePlatform();
  capture::StartCapture();
  capture::ExceptNotify = &Recorder::Notify;
  int result = RUN_ALL_TESTS();
  capture::ExceptNotify = nullptr;
  capture::StopCapture();
  return result;
}
