// The capture in a program that carries a data block: which raises are notified (the handled
// test against what really catches), what the raise state records, and the busy flag, with a
// recording notification. GoogleTest's own catch-all surrounds every test body, so raises that
// must be unhandled happen on threads (the runtime's thread guards are no handlers).
#include <gtest/gtest.h>
#include <process.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "capture/call_stack.h"
#include "capture/capture_state.h"
#include "capture/capture_unit.h"
#include "capture/exception_log.h"
#include "capture/interception.h"
#include "capture/pattern_thrower.h"
#include "capture/process_memory.h"
#include "capture/raise_hook.h"
#include "capture/raise_state.h"
#include "capture/recorder.h"
#include "capture/thread_registry.h"
#include "capture/thrower_walk.h"
#include "core/core_unit_win.h"
#include "publishing/safecalls_list.h"
#include "runtime/exceptions.h"
#include "runtime/thread.h"

using namespace vl;

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

// The runtime's thread guard hands an escaping exception to the unhandled-exception procedure:
// one the raise hook saw is not reported twice; one it never saw is reported there, once.
TEST(CaptureHandledTest, TheLastChanceReportsOnlyEscapesTheRaiseHookNeverSaw) {
  for (bool hookSees : {true, false}) {
    Recorder::Instance().Take();
    if (!hookSees) capture::PauseRaiseHook();
    HANDLE h = rtl::BeginThread(
        nullptr, 0, [](void*) -> DWORD { ThrowCustom("escapes the thread"); }, nullptr, 0, nullptr);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(WaitForSingleObject(h, 20000), WAIT_OBJECT_0);
    if (!hookSees) capture::ResumeRaiseHook();
    DWORD code = 0;
    GetExitCodeThread(h, &code);
    CloseHandle(h);
    EXPECT_EQ(code, 1u) << hookSees;
    std::vector<Note> notes = Recorder::Instance().Take();
    ASSERT_EQ(notes.size(), 1u) << hookSees;
    EXPECT_EQ(notes[0].Message, "escapes the thread");
    EXPECT_EQ(notes[0].ContextFlags, hookSees ? capture::RaiseContextFlags : 0u);
  }
}

TEST(CaptureHandledTest, NeitherAnAbortNorACaughtRaiseIsKeptOrNotified) {
  capture::ClearLastException();
  std::vector<Note> notes = RunOnThread([] { throw EAbort(); });
  EXPECT_TRUE(notes.empty());
  EXPECT_FALSE(capture::LastException().Object);
  try {
    ThrowCustom("caught");
  } catch (...) {
  }
  EXPECT_FALSE(capture::LastException().Object);
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

namespace {

uintptr_t g_walkReturn = 0;
std::vector<uint8_t> g_copy;

__attribute__((noinline)) std::vector<uintptr_t> WalkHere() {
  uintptr_t low, high;
  capture::CurrentStackBounds(low, high);
  const auto sp = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  g_walkReturn = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
  g_copy.assign(reinterpret_cast<const uint8_t*>(sp), reinterpret_cast<const uint8_t*>(high));
  return capture::CallStackAddresses(0x1234, sp, high);
}

__attribute__((noinline)) std::vector<uintptr_t> CallsWalk() {
  std::vector<uintptr_t> r = WalkHere();
  asm volatile("");
  return r;
}

bool Contains(const std::vector<uintptr_t>& list, uintptr_t a) {
  return std::find(list.begin(), list.end(), a) != list.end();
}

}  // namespace

TEST(CallStackWalk, FindsTheCallSitesOfTheLiveStackAndOfACopy) {
  std::vector<uintptr_t> live = CallsWalk();
  ASSERT_FALSE(live.empty());
  EXPECT_EQ(live[0], 0x1234u);
  EXPECT_TRUE(Contains(live, g_walkReturn - 5));
  // The called routine of a relative call is listed before its call site.
  auto site = std::find(live.begin(), live.end(), g_walkReturn - 5);
  ASSERT_NE(site, live.begin());
  EXPECT_EQ(*(site - 1), reinterpret_cast<uintptr_t>(&WalkHere));
  std::vector<uintptr_t> copied =
      capture::CallStackAddressesOfCopy(0, g_copy.data(), g_copy.size());
  EXPECT_TRUE(Contains(copied, g_walkReturn - 5));
  // Wild ranges: an unreadable range and an empty one give nothing.
  EXPECT_TRUE(capture::CallStackAddresses(0, 0x10, 0x2000).empty());
  EXPECT_TRUE(capture::CallStackAddressesOfCopy(0, nullptr, 64).empty());
}

namespace {

HANDLE g_release = nullptr;

class WaitingThread : public Classes::TThread {
 public:
  WaitingThread() : TThread(true) {}

 protected:
  void Execute() override { WaitForSingleObject(g_release, 20000); }
};

__attribute__((noinline)) void ResumeElsewhere(Classes::TThread* t) {
  t->Resume();
  asm volatile("");
}

DWORD WINAPI ExitingThread(void*) {
  WaitForSingleObject(g_release, 20000);
  ExitThread(5);
}

DWORD WINAPI ReturningThread(void*) {
  WaitForSingleObject(g_release, 20000);
  return 6;
}

int RegistryCount() {
  capture::TVantorThreadsList* registry = capture::ThreadRegistry();
  registry->Lock();
  int n = registry->Count();
  registry->Unlock();
  return n;
}

}  // namespace

TEST(ThreadRegistry, TheCreatorStackNamesTheResumerAndEntriesEndWithTheirThreads) {
  capture::TVantorThreadsList* registry = capture::ThreadRegistry();
  ASSERT_NE(registry, nullptr);
  g_release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const int before = RegistryCount();
  auto* t = new WaitingThread();
  ResumeElsewhere(t);
  registry->Lock();
  const int index = registry->IndexOfHandle(t->Handle());
  ASSERT_GE(index, 0);
  capture::TThreadEntry* entry = registry->Items(index);
  EXPECT_EQ(entry->ThreadObject, t);
  EXPECT_EQ(entry->ThreadId, t->ThreadID());
  std::vector<uintptr_t> creator =
      capture::CallStackAddressesOfCopy(0, entry->CreatorStack, entry->CreatorStackSize);
  registry->Unlock();
  const auto resumer = reinterpret_cast<uintptr_t>(&ResumeElsewhere);
  EXPECT_TRUE(std::any_of(creator.begin(), creator.end(),
                          [&](uintptr_t a) { return a > resumer && a < resumer + 64; }));

  HANDLE exiting = CreateThread(nullptr, 0, ExitingThread, nullptr, 0, nullptr);
  HANDLE returning = CreateThread(nullptr, 0, ReturningThread, nullptr, 0, nullptr);
  EXPECT_EQ(RegistryCount(), before + 3);
  // A thread the registry did not see being created: resuming it changes nothing.
  HANDLE foreign = reinterpret_cast<HANDLE>(_beginthreadex(
      nullptr, 0, [](void*) -> unsigned __stdcall { return 0; }, nullptr, CREATE_SUSPENDED,
      nullptr));
  ResumeThread(foreign);
  EXPECT_EQ(RegistryCount(), before + 3);
  SetEvent(g_release);
  for (HANDLE h : {exiting, returning, foreign}) {
    WaitForSingleObject(h, 20000);
    CloseHandle(h);
  }
  t->WaitFor();
  delete t;
  // Both ways of ending (ExitThread, returning) remove the entry.
  EXPECT_EQ(RegistryCount(), before);
  // A failed creation leaves no entry and keeps the system's error.
  SetLastError(0);
  HANDLE none = CreateThread(nullptr, ~SIZE_T{0} >> 1, ReturningThread, nullptr, 0, nullptr);
  EXPECT_EQ(none, nullptr);
  EXPECT_NE(GetLastError(), 0u);
  EXPECT_EQ(RegistryCount(), before);
  CloseHandle(g_release);
}

TEST(RaiseRegisters, TheThrowersCalleeSavedRegistersAreRecordedExactly) {
  bool caught = false;
  try {
    ThrowWithPatterns();
  } catch (int value) {
    caught = value == 42;
  }
  ASSERT_TRUE(caught);
  const capture::TThreadRaiseState& state = capture::CurrentRaiseState();
  const CONTEXT& c = state.Context;
  ASSERT_EQ(c.ContextFlags, capture::RaiseContextFlags);
  const auto thrower = reinterpret_cast<uintptr_t>(&ThrowWithPatterns);
  using namespace capturetest;
#if defined(__x86_64__)
  EXPECT_EQ(c.Rbx, PatternRbx);
  EXPECT_EQ(c.Rsi, PatternRsi);
  EXPECT_EQ(c.Rdi, PatternRdi);
  EXPECT_EQ(c.R12, PatternR12);
  EXPECT_EQ(c.R13, PatternR13);
  EXPECT_EQ(c.R14, PatternR14);
  EXPECT_EQ(c.R15, PatternR15);
  EXPECT_EQ(c.Rbp, PatternRbp);
  const uintptr_t ip = c.Rip, returnAddress = c.Rdx, sp = c.Rsp, object = c.Rax, cx = c.Rcx;
#else
  EXPECT_EQ(c.Ebx, PatternEbx);
  EXPECT_EQ(c.Esi, PatternEsi);
  EXPECT_EQ(c.Edi, PatternEdi);
  EXPECT_EQ(c.Ebp, PatternEbp);
  const uintptr_t ip = c.Eip, returnAddress = c.Edx, sp = c.Esp, object = c.Eax, cx = c.Ecx;
#endif
  // The raising call: an E8 call inside the thrower, five bytes before the return address.
  EXPECT_EQ(ip + 5, returnAddress);
  EXPECT_GT(ip, thrower);
  EXPECT_LT(ip, thrower + 200);
  EXPECT_EQ(*reinterpret_cast<const uint8_t*>(ip), 0xE8);
  EXPECT_EQ(sp, state.StackPointer);
  EXPECT_EQ(sp, state.RaiseStackPointer);
  EXPECT_NE(object, 0u);
  EXPECT_EQ(cx, 0u);
  EXPECT_EQ(state.RaiseEcx, 0u);
}

TEST(Safecall, AFailureIsReportedOnceAtItsRaiseThenEndsTheCallerSilently) {
  // The application object's initialisation puts the safecall hook in place.
  if (rtl::InitProc) rtl::InitProc();
  Recorder::Instance().Take();
  const HRESULT result = rtl::SafeCall([](void*) { ThrowCustom("in safecall"); }, nullptr);
  EXPECT_EQ(result, E_UNEXPECTED);
  std::vector<Note> notes = Recorder::Instance().Take();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].Message, "in safecall");
  bool aborted = false;
  try {
    rtl::CheckSafeCallResult(result);
  } catch (const EAbort&) {
    aborted = true;
  } catch (...) {
  }
  EXPECT_TRUE(aborted);
  // A failure code that nothing reported reaches the caller as EOleException.
  bool ole = false;
  try {
    rtl::CheckSafeCallResult(E_FAIL);
  } catch (const EOleException& e) {
    ole = e.ErrorCode == static_cast<int32_t>(E_FAIL);
  }
  EXPECT_TRUE(ole);
  EXPECT_TRUE(Recorder::Instance().Take().empty());
  // A body that succeeds: S_OK and nothing else.
  EXPECT_EQ(rtl::SafeCall([](void*) {}, nullptr), S_OK);
}

TEST(Safecall, AnEOleExceptionRaisedInTheCallersCheckOnlyPassesTheCodeOn) {
  if (rtl::InitProc) rtl::InitProc();
  uint8_t* flag = publishing::SafeCallsFlag();
  ASSERT_NE(flag, nullptr);
  const struct {
    const char* name;
    void (*body)(void*);
    HRESULT result;
    size_t notes;
    uint8_t flag;
  } rows[] = {
      // A callee's failure code comes back and the check raises: the boundary turns it into the
      // same code again; nothing to report, and the caller's check must not be silenced.
      {"raised in the check", [](void*) { rtl::CheckSafeCallResult(E_FAIL); }, E_FAIL, 0, 0},
      // The same class raised by the body itself is the body's own failure.
      {"raised by the body",
       [](void*) { throw EOleException("by the body", static_cast<int32_t>(E_NOTIMPL)); },
       E_NOTIMPL, 1, 1},
      {"another class", [](void*) { ThrowCustom("custom"); }, E_UNEXPECTED, 1, 1},
  };
  for (const auto& row : rows) {
    *flag = 0;
    Recorder::Instance().Take();
    EXPECT_EQ(rtl::SafeCall(row.body, nullptr), row.result) << row.name;
    EXPECT_EQ(Recorder::Instance().Take().size(), row.notes) << row.name;
    EXPECT_EQ(*flag, row.flag) << row.name;
  }
  *flag = 0;
}

namespace {

struct EManaged : Exception {
  using Exception::Exception;
};

// Calls the manager from inside a catch of what Throw raises; Paused: the raise hook does not
// see the raise (as for a raise in a module without the hook).
bool ManageInCatch(void (*raise)(), bool paused = false) {
  if (paused) capture::PauseRaiseHook();
  bool answer = false;
  try {
    raise();
  } catch (...) {
    if (paused) capture::ResumeRaiseHook();
    paused = false;
    answer = ExceptionLog::HandleFrameworkException();
  }
  if (paused) capture::ResumeRaiseHook();
  return answer;
}

}  // namespace

TEST(ExceptionManagerTest, TheExceptionBeingHandledIsReportedOnceAndTheAnswerPassedOn) {
  for (bool answer : {false, true}) {
    Recorder::Instance().Answer = answer;
    Recorder::Instance().Take();
    EXPECT_EQ(ManageInCatch([] { throw EManaged("managed"); }), answer);
    std::vector<Note> notes = Recorder::Instance().Take();
    ASSERT_EQ(notes.size(), 1u) << answer;
    EXPECT_EQ(notes[0].ClassName, "EManaged");
    EXPECT_EQ(notes[0].Message, "managed");
    // Seen by the raise hook: the registers of the raise come with it.
    EXPECT_EQ(notes[0].ContextFlags, capture::RaiseContextFlags);
    EXPECT_FALSE(capture::HandlingInProgress());
  }
  Recorder::Instance().Answer = false;
}

TEST(ExceptionManagerTest, AStaleRecordIsNotReportedInPlaceOfTheExceptionBeingHandled) {
  ManageInCatch([] { ThrowCustom("earlier"); });
  Recorder::Instance().Take();
  EXPECT_FALSE(ManageInCatch([] { throw EManaged("unseen"); }, true));
  std::vector<Note> notes = Recorder::Instance().Take();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].ClassName, "EManaged");
  EXPECT_EQ(notes[0].Message, "unseen");
  EXPECT_EQ(notes[0].ContextFlags, 0u);  // no registers: the raise was not seen
  EXPECT_NE(notes[0].StackPointer, 0u);
  EXPECT_FALSE(capture::LastException().Object) << "kept only while its notification runs";
}

TEST(ExceptionManagerTest, QuietCasesAnswerWithoutReporting) {
  const struct {
    const char* name;
    bool (*run)();
    bool answer;
  } rows[] = {
      {"EAbort", [] { return ManageInCatch([] { throw EAbort(); }); }, true},
      {"catching off",
       [] {
         capture::CatchingEnabled = false;
         const bool r = ManageInCatch([] { throw EManaged("off"); });
         capture::CatchingEnabled = true;
         return r;
       },
       true},
      {"ignored thread",
       [] {
         capture::IgnoreThread(GetCurrentThreadId());
         const bool r = ManageInCatch([] { throw EManaged("ignored"); });
         capture::StopIgnoringThread(GetCurrentThreadId());
         return r;
       },
       true},
      {"outside any catch, nothing recorded",
       [] {
         capture::ClearLastException();
         return capture::ExceptionManager();
       },
       true},
      {"outside any catch, an earlier exception recorded",
       [] {
         try {
           ThrowCustom("handled long ago");
         } catch (...) {
         }
         return ExceptionLog::HandleFrameworkException();
       },
       true},
      // The thread that holds the busy flag is inside a notification: it never waits, the
      // framework's own handling is skipped.
      {"this thread is notifying",
       [] {
         if (!capture::TryTakeHandling()) return true;
         const bool r = ManageInCatch([] { throw EManaged("nested"); });
         capture::ReleaseHandling();
         return r;
       },
       false},
  };
  for (const auto& row : rows) {
    Recorder::Instance().Take();
    EXPECT_EQ(row.run(), row.answer) << row.name;
    EXPECT_TRUE(Recorder::Instance().Take().empty()) << row.name;
    EXPECT_FALSE(capture::HandlingInProgress()) << row.name;
  }
}

TEST(ExceptionManagerTest, AnotherThreadsNotificationIsWaitedFor) {
  Recorder::Instance().Take();
  HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread holder([&] {
    capture::TryTakeHandling();
    SetEvent(taken);
    Sleep(150);
    capture::ReleaseHandling();
  });
  WaitForSingleObject(taken, 10000);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ManageInCatch([] { throw EManaged("after the other"); }));
  const auto waited = std::chrono::steady_clock::now() - start;
  holder.join();
  CloseHandle(taken);
  EXPECT_GE(waited, std::chrono::milliseconds(100));
  std::vector<Note> notes = Recorder::Instance().Take();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].Message, "after the other");
}

namespace {

uintptr_t g_inThreadObject = 0;

class StackLookingThread : public Classes::TThread {
 public:
  StackLookingThread() : TThread(true) {}

 protected:
  void Execute() override {
    uintptr_t low, high;
    capture::CurrentStackBounds(low, high);
    const auto sp = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    const auto start = reinterpret_cast<uintptr_t>(&HookedRTLThreadProc);
    for (uintptr_t a : capture::CallStackAddresses(0, sp, high))
      if (a > start && a < start + 512) g_inThreadObject = a;
  }
};

}  // namespace

TEST(ThreadRegistry, EveryThreadObjectRunsThroughTheTracedThreadObjectFrame) {
  g_inThreadObject = 0;
  auto* t = new StackLookingThread();
  t->Resume();
  t->WaitFor();
  delete t;
  EXPECT_NE(g_inThreadObject, 0u);
}

#if defined(__x86_64__)
TEST(RaiseWalk, TheOwnFunctionTableAnswersAsTheSystemDoes) {
  const uintptr_t probes[] = {
      reinterpret_cast<uintptr_t>(&ThrowCustom),
      reinterpret_cast<uintptr_t>(&ThrowCustom) + 3,
      reinterpret_cast<uintptr_t>(&capture::WalkRaise) + 40,
      reinterpret_cast<uintptr_t>(&HookedRaise) + 1,
      reinterpret_cast<uintptr_t>(&ThrowWithPatterns) + 10,
      reinterpret_cast<uintptr_t>(GetModuleHandleA(nullptr)) + 0x10,  // headers: no function
      reinterpret_cast<uintptr_t>(&GetTickCount),                     // another module
  };
  for (uintptr_t pc : probes) {
    uint64_t ownBase = 0;
    void* own = capture::LookupFunctionEntry(pc, ownBase);
    DWORD64 systemBase = 0;
    void* system = RtlLookupFunctionEntry(pc, &systemBase, nullptr);
    EXPECT_EQ(own, system) << std::hex << pc;
    if (system) {
      EXPECT_EQ(ownBase, systemBase) << std::hex << pc;
    }
  }
}
#endif

#if defined(__x86_64__)
namespace unwindtest {
using TStep = int (*)(int);
extern TStep g_steps[];
int g_ownFrames = 0;

__attribute__((noinline)) int Next(int i) { return g_steps[i](i + 1) + 1; }
__attribute__((noinline)) int WithFrameRegister(int i) {
  auto* p = static_cast<volatile char*>(__builtin_alloca(64 + i));
  p[0] = static_cast<char>(i);
  return Next(i) + p[0];
}
__attribute__((noinline)) int WithLargeFrame(int i) {
  volatile char big[9000];
  big[i] = 1;
  return Next(i) + big[i];
}
__attribute__((noinline)) int WithSavedRegisters(int i) {
  volatile int seed = i;
  const int a = seed * 3, b = seed * 5, c = seed * 7, d = seed * 11, e = seed * 13, f = seed * 17;
  const int r = Next(i);
  return r + a * b + c * d + e * f;
}
__attribute__((noinline)) int WithHandler(int i) {
  try {
    return Next(i);
  } catch (...) {
    return -1;
  }
}
// Every frame from here outwards, unwound by the system and by the walk's own unwinder.
__attribute__((noinline)) int CompareFrames(int) {
  CONTEXT context;
  RtlCaptureContext(&context);
  for (int frame = 0; frame < 64 && context.Rip != 0; ++frame) {
    DWORD64 base = 0;
    PRUNTIME_FUNCTION entry = RtlLookupFunctionEntry(context.Rip, &base, nullptr);
    if (!entry) break;
    CONTEXT system = context, own = context;
    void *systemData = nullptr, *ownData = nullptr;
    DWORD64 establisher = 0;
    void* systemHandler = reinterpret_cast<void*>(RtlVirtualUnwind(
        UNW_FLAG_EHANDLER, base, context.Rip, entry, &system, &systemData, &establisher, nullptr));
    void* ownHandler =
        capture::VirtualUnwind(UNW_FLAG_EHANDLER, base, context.Rip, entry, own, ownData);
    g_ownFrames += base == reinterpret_cast<uint64_t>(GetModuleHandleA(nullptr));
    for (DWORD64 CONTEXT::*r :
         {&CONTEXT::Rip, &CONTEXT::Rsp, &CONTEXT::Rbx, &CONTEXT::Rbp, &CONTEXT::Rsi, &CONTEXT::Rdi,
          &CONTEXT::R12, &CONTEXT::R13, &CONTEXT::R14, &CONTEXT::R15})
      EXPECT_EQ(own.*r, system.*r) << "frame " << frame;
    EXPECT_EQ(ownHandler, systemHandler) << "frame " << frame;
    EXPECT_EQ(ownData, systemHandler ? systemData : nullptr) << "frame " << frame;
    context = system;
  }
  return 0;
}
TStep g_steps[] = {WithHandler,       WithFrameRegister, WithSavedRegisters, WithLargeFrame,
                   WithFrameRegister, WithHandler,       CompareFrames};
}  // namespace unwindtest

TEST(RaiseWalk, FramesUnwindAsTheSystemUnwindsThem) {
  unwindtest::g_steps[0](1);
  EXPECT_GE(unwindtest::g_ownFrames, 8);
}
#endif

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  core::InstallCorePlatform();
  capture::StartCapture();
  capture::Seams().ExceptNotify = &Recorder::Notify;
  int result = RUN_ALL_TESTS();
  capture::Seams().ExceptNotify = nullptr;
  capture::StopCapture();
  return result;
}
