// The notification in-process, with a stand-in for the exception dialog: which thread runs
// what, the waiting main thread's messages, filters, handlers and concurrent raises.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "capture/capture_state.h"
#include "capture/capture_unit.h"
#include "core/core_unit_win.h"
#include "core/internal_errors.h"
#include "core/module_options.h"
#include "pipeline/except_notify.h"
#include "pipeline/pipeline_seams.h"
#include "pipeline/pipeline_state.h"
#include "pipeline/pipeline_unit.h"
#include "report/log_text.h"
#include "runtime/exceptions.h"
#include "support/win_process.h"

using namespace vl;

namespace {

std::string LogFile() { return testsupport::ExeFolder() + "pipeline_test.vlf"; }

std::vector<std::string> LogEntries() {
  report::TLogText log;
  log.Load(testsupport::ReadFileText(LogFile()));
  return log.Items();
}

// The dialog stand-in: records where it ran and what it was shown; runs an optional action.
struct StandIn {
  std::atomic<int> Calls{0};
  std::atomic<DWORD> ThreadId{0};
  std::string Report;
  std::function<void()> Action;
  static StandIn& Get() {
    static StandIn s;
    return s;
  }
  static bool Show() {
    StandIn& self = Get();
    ++self.Calls;
    self.ThreadId = GetCurrentThreadId();
    self.Report = pipeline::State().CurrentExceptionRecord->ReportText;
    if (self.Action) self.Action();
    return true;
  }
};

class PipelineTest : public testing::Test {
 protected:
  void SetUp() override {
    DeleteFileA(LogFile().c_str());
    StandIn::Get().Calls = 0;
    StandIn::Get().Action = nullptr;
    pipeline::Seams().ShowExceptionDialog = StandIn::Show;
    Options().SetLogLocation(LogFile());
    Options().SetTellUser(true);
    Options().SetAppendToLog(true);
    Options().SetFiltersOn(false);
    Options().SetHandlingFlags(0);
    pipeline::AttachEvents(&Events);
  }
  void TearDown() override {
    pipeline::AttachEvents(nullptr);
    DeleteFileA(LogFile().c_str());
  }
  static TVantorModuleOptionsEx& Options() { return *pipeline::CurrentVantorLogOptions(); }

  // Raises Error, catches it and notifies it as if unhandled.
  template <class E>
  bool NotifyCaught(const E& error) {
    try {
      throw error;
    } catch (...) {
      return pipeline::ExceptNotify(std::current_exception(), nullptr, false, nullptr, 0, 0);
    }
  }

  pipeline::TVantorLogEvents Events;
};

// A window of the main thread counting what reaches it.
std::atomic<int> g_paints{0};
std::atomic<int> g_userMessages{0};
LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_PAINT) {
    ++g_paints;
    PAINTSTRUCT ps;
    BeginPaint(window, &ps);
    EndPaint(window, &ps);
    return 0;
  }
  if (message == WM_USER) ++g_userMessages;
  return DefWindowProcA(window, message, w, l);
}

TEST_F(PipelineTest, MainThreadWaitsWhileTheWorkerReports) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = CountingProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "PipelineCounting";
  RegisterClassA(&wc);
  HWND window = CreateWindowA("PipelineCounting", "counting", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                              0, 200, 100, nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  g_paints = 0;
  g_userMessages = 0;

  const DWORD mainThread = GetCurrentThreadId();
  std::vector<std::pair<int, DWORD>> actions;
  DWORD notifyThread = 0;
  Events.OnNotify = [&](pipeline::TVantorExceptionRecord&, bool&) {
    notifyThread = GetCurrentThreadId();
  };
  Events.OnAction = [&](const pipeline::TVantorExceptionRecord&, int action, bool&) {
    actions.emplace_back(action, GetCurrentThreadId());
  };
  StandIn::Get().Action = [&] {
    InvalidateRect(window, nullptr, TRUE);
    PostMessageA(window, WM_USER, 0, 0);
    PostThreadMessageA(mainThread, WM_QUIT, 7, 0);
    Sleep(300);
  };
  EXPECT_FALSE(NotifyCaught(EConvertError("main thread failure")));
  Events.OnNotify = nullptr;
  Events.OnAction = nullptr;

  EXPECT_EQ(StandIn::Get().Calls, 1);
  EXPECT_NE(StandIn::Get().ThreadId, mainThread) << "the worker shows the dialog";
  EXPECT_EQ(notifyThread, mainThread) << "handlers run on the faulting thread";
  ASSERT_EQ(actions.size(), 4u);
  for (size_t i = 0; i < actions.size(); ++i) {
    EXPECT_EQ(actions[i].first, static_cast<int>(i));
    EXPECT_EQ(actions[i].second, mainThread);
  }
  EXPECT_EQ(g_paints, 0) << "no window procedure runs for WM_PAINT while waiting";
  EXPECT_EQ(g_userMessages, 0) << "other messages are dropped";
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "WM_QUIT is kept";
  EXPECT_EQ(msg.wParam, 7u);
  DestroyWindow(window);
  EXPECT_EQ(LogEntries().size(), 1u);
  EXPECT_NE(StandIn::Get().Report.find("main thread failure"), std::string::npos);
  EXPECT_EQ(pipeline::State().CurrentExceptionRecord, nullptr);
  EXPECT_EQ(capture::WorkerThreadId.load(), 0u);
}

__attribute__((noinline)) DWORD WINAPI ReportingThread(void* self) {
  try {
    throw EConvertError("thread failure");
  } catch (...) {
    pipeline::ExceptNotify(std::current_exception(), nullptr, false, nullptr, 0, 0);
  }
  *static_cast<DWORD*>(self) = GetCurrentThreadId();
  return 0;
}

__attribute__((noinline)) DWORD StartReportingThread() {
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, ReportingThread, &id, 0, nullptr);
  WaitForSingleObject(thread, 30000);
  CloseHandle(thread);
  return id;
}

DWORD WINAPI WaitForStop(void* stop) { return WaitForSingleObject(stop, 30000); }

// On a thread of its own, so that its stack is not the main thread's: starts a thread and
// closes its handle at once, so that the next thread may get the same handle value.
__attribute__((noinline)) DWORD WINAPI StartIdleThread(void* stop) {
  CloseHandle(CreateThread(nullptr, 0, WaitForStop, stop, 0, nullptr));
  return 0;
}

TEST_F(PipelineTest, ThreadRaiseRunsOnThatThreadWithItsCreatorsStack) {
  HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE starter = CreateThread(nullptr, 0, StartIdleThread, stop, 0, nullptr);
  WaitForSingleObject(starter, 30000);
  CloseHandle(starter);
  const DWORD thread = StartReportingThread();
  SetEvent(stop);
  CloseHandle(stop);
  EXPECT_EQ(StandIn::Get().Calls, 1);
  EXPECT_EQ(StandIn::Get().ThreadId, thread);
  EXPECT_NE(StandIn::Get().Report.find("StartReportingThread"), std::string::npos)
      << StandIn::Get().Report;
  EXPECT_EQ(StandIn::Get().Report.find("StartIdleThread"), std::string::npos)
      << "another thread's creator";
}

DWORD WINAPI CloseInformationBox(void* flag) {
  for (int i = 0; i < 300; ++i) {
    HWND box = FindWindowA("#32770", "Information.");
    if (box) {
      PostMessageA(box, WM_COMMAND, IDOK, 0);
      *static_cast<std::atomic<bool>*>(flag) = true;
      return 0;
    }
    Sleep(50);
  }
  return 1;
}

HANDLE g_start = nullptr;
// Each thread's message is its own and longer than a page of the published record.
DWORD WINAPI RaiseWhenStarted(void* index) {
  WaitForSingleObject(g_start, 10000);
  throw EConvertError("raised at once #" + std::to_string(reinterpret_cast<uintptr_t>(index)) +
                      std::string(1500, '.'));
}

TEST_F(PipelineTest, FiltersCatchDescendantsAndStopTheReport) {
  Options().SetFiltersOn(true);
  Options().FilterClasses().Assign(std::vector<std::string>{" eintERROR "});
  Options().FilterMessages().Assign(std::vector<std::string>{""});
  EXPECT_FALSE(NotifyCaught(EDivByZero("filtered quietly", EXCEPTION_INT_DIVIDE_BY_ZERO, 0)));
  EXPECT_EQ(StandIn::Get().Calls, 0);
  EXPECT_TRUE(LogEntries().empty());

  // With a message, only a box: a second thread closes it.
  Options().FilterMessages().Assign(std::vector<std::string>{"Filtered with a box."});
  std::atomic<bool> closed{false};
  HANDLE closer = CreateThread(nullptr, 0, CloseInformationBox, &closed, 0, nullptr);
  EXPECT_FALSE(NotifyCaught(EDivByZero("filtered with a box", EXCEPTION_INT_DIVIDE_BY_ZERO, 0)));
  WaitForSingleObject(closer, 30000);
  CloseHandle(closer);
  EXPECT_TRUE(closed);
  EXPECT_EQ(StandIn::Get().Calls, 0);
  EXPECT_TRUE(LogEntries().empty());
  Options().FilterClasses().Clear();
  Options().FilterMessages().Clear();
}

TEST_F(PipelineTest, CancelledNotificationDoesNothingAndLetsTheProgramHandle) {
  const int before = pipeline::State().ErrorCount;
  Events.OnNotify = [](pipeline::TVantorExceptionRecord&, bool& handle) { handle = false; };
  EXPECT_TRUE(NotifyCaught(EConvertError("cancelled")));
  Events.OnNotify = nullptr;
  EXPECT_EQ(StandIn::Get().Calls, 0);
  EXPECT_TRUE(LogEntries().empty());
  EXPECT_EQ(pipeline::State().ErrorCount, before);
}

TEST_F(PipelineTest, SilentReportIsStillLoggedAndRepeatsAreSkipped) {
  Options().SetTellUser(false);
  Options().SetHandlingFlags(hfSkipRepeats);
  EXPECT_FALSE(NotifyCaught(EConvertError("silent")));
  EXPECT_FALSE(NotifyCaught(EConvertError("silent")));
  EXPECT_EQ(StandIn::Get().Calls, 0);
  EXPECT_EQ(LogEntries().size(), 1u);
  EXPECT_TRUE(pipeline::State().IsDuplicate);
}

TEST_F(PipelineTest, ConcurrentUnhandledRaisesGiveWholeEntries) {
  Options().SetTellUser(false);
  for (int count : {2, 8}) {
    DeleteFileA(LogFile().c_str());
    std::vector<HANDLE> threads;
    g_start = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    for (uintptr_t i = 0; i < static_cast<uintptr_t>(count); ++i) {
      threads.push_back(
          CreateThread(nullptr, 0, RaiseWhenStarted, reinterpret_cast<void*>(i), 0, nullptr));
    }
    SetEvent(g_start);
    WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, 60000);
    for (HANDLE t : threads) CloseHandle(t);
    CloseHandle(g_start);
    const std::vector<std::string> entries = LogEntries();
    ASSERT_EQ(entries.size(), static_cast<size_t>(count));
    std::set<std::string> raisers;
    for (const std::string& entry : entries) {
      const size_t at = entry.find("raised at once #");
      ASSERT_NE(at, std::string::npos);
      EXPECT_EQ(entry.find("raised at once #", at + 1), std::string::npos) << "one message";
      raisers.insert(entry.substr(at, entry.find('.', at) - at));
      EXPECT_NE(entry.find("Memory Dump:"), std::string::npos);
    }
    EXPECT_EQ(raisers.size(), static_cast<size_t>(count)) << "each report has its own raise";
  }
}

TEST_F(PipelineTest, AWorkerStuckInItsOwnWorkIsGivenUpOnButNotOneThatWaitsForTheUser) {
  const uint32_t deadline = pipeline::WorkerDeadlineMs;
  pipeline::WorkerDeadlineMs = 400;
  // A dialog open for twice the deadline: the user is not hurried.
  StandIn::Get().Action = [] { Sleep(800); };
  EXPECT_FALSE(NotifyCaught(EConvertError("slow reader")));
  EXPECT_EQ(LogEntries().size(), 1u);

  // A screenshot that never returns: given up on, nothing logged, the program goes on.
  DeleteFileA(LogFile().c_str());
  pipeline::Seams().ScreenshotFileName = [] { return std::string("stuck.png"); };
  pipeline::Seams().CaptureScreenshot = [](const std::string&) { Sleep(INFINITE); };
  const DWORD start = GetTickCount();
  EXPECT_TRUE(NotifyCaught(EConvertError("stuck")));
  EXPECT_LT(GetTickCount() - start, 5000u);
  EXPECT_TRUE(LogEntries().empty());
  EXPECT_EQ(capture::WorkerThreadId.load(), 0u);
  pipeline::Seams().ScreenshotFileName = nullptr;
  pipeline::Seams().CaptureScreenshot = nullptr;
  pipeline::WorkerDeadlineMs = deadline;
  EXPECT_FALSE(NotifyCaught(EConvertError("after")));
  EXPECT_EQ(LogEntries().size(), 1u) << "the next notification is whole";
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  core::InstallCorePlatform();
  capture::StartCapture();
  pipeline::StartPipeline();
  // A console test program standing in for a GUI one: the dialog stand-in is shown.
  pipeline::Seams().HostKind = [] { return pipeline::THostKind::Gui; };
  const int result = RUN_ALL_TESTS();
  pipeline::StopPipeline();
  capture::StopCapture();
  return result;
}
