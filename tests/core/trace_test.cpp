// The internal trace: argument formatting, line layout and indentation, the switches, the trace
// file, and several threads tracing at once.
#include "core/trace.h"

#include <gtest/gtest.h>

// This file replaces the global operator new/delete on malloc/free to count allocations; GCC
// sees through the replacement and would report every delete as mismatched.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <future>
#include <new>
#include <stdexcept>
#include <thread>

#include "trace_support.h"

using namespace vl;

using coretest::TraceTest;
using coretest::WrittenFiles;

namespace tracetest {
class TSomeForm {
 public:
  virtual ~TSomeForm() = default;
};
class TDerivedForm : public TSomeForm {};
struct PlainRecord {
  int x;
};
}  // namespace tracetest

TEST_F(TraceTest, EachArgumentKind) {
  Trace("X");
  EXPECT_EQ(LastLine(), "X");
  Trace("X=", {true}, -2);
  EXPECT_EQ(LastLine(), "X=(True)");

  Trace("Ints", {0, -42, 4294967295u, LLONG_MIN, ULLONG_MAX});
  EXPECT_EQ(LastLine(), "Ints(0, -42, 4294967295, -9223372036854775808, 18446744073709551615)");
  Trace("Bools", {false, true});
  EXPECT_EQ(LastLine(), "Bools(False, True)");
  Trace("Char", {'A'});
  EXPECT_EQ(LastLine(), "Char(A)");
  std::string owned = "C:\\App\\prog.exe";
  Trace("Texts", {"it's", owned, std::string_view(), static_cast<const char*>(nullptr)});
  EXPECT_EQ(LastLine(), "Texts('it's', 'C:\\App\\prog.exe', '', '')");

  Trace("Ptr", {reinterpret_cast<void*>(static_cast<uintptr_t>(0x12345678)), nullptr,
                core::TraceArg::Pointer(reinterpret_cast<void*>(static_cast<uintptr_t>(0xAB)))});
  EXPECT_EQ(LastLine(), "Ptr($12345678, nil, $000000AB)");

  tracetest::TDerivedForm form;
  tracetest::TSomeForm* asBase = &form;
  tracetest::TSomeForm* none = nullptr;
  tracetest::PlainRecord record{1};
  Trace("Obj", {asBase, none, core::TraceArg::Object(form)});
  EXPECT_EQ(LastLine(), "Obj(TDerivedForm, nil, TDerivedForm)");
  std::string recordArg = core::TraceArg(&record).Format();
  EXPECT_EQ(recordArg[0], '$');  // a plain record is an address

  Trace("Other", {core::TraceArg::Other()});
  EXPECT_EQ(LastLine(), "Other(Unknown)");
  Trace("Cur", {core::TraceArg::Currency(125000), core::TraceArg::Currency(-1),
                core::TraceArg::Currency(70000)});
  EXPECT_EQ(LastLine(), "Cur(12.5, -0.0001, 7)");
}

TEST(TraceFloat, GeneralConversion) {
  EXPECT_EQ(core::FloatToStr(0), "0");
  EXPECT_EQ(core::FloatToStr(1.5), "1.5");
  EXPECT_EQ(core::FloatToStr(-0.1), "-0.1");
  EXPECT_EQ(core::FloatToStr(100), "100");
  EXPECT_EQ(core::FloatToStr(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(core::FloatToStr(123456789012345.0), "123456789012345");
  EXPECT_EQ(core::FloatToStr(1e15), "1E15");
  EXPECT_EQ(core::FloatToStr(1e20), "1E20");
  EXPECT_EQ(core::FloatToStr(0.0001), "0.0001");
  EXPECT_EQ(core::FloatToStr(1.5e-5), "1.5E-5");
  EXPECT_EQ(core::FloatToStr(1.0 / 0.0), "INF");
  EXPECT_EQ(core::TraceArg(2.25).Format(), "2.25");
}

TEST_F(TraceTest, LineLayoutAndIndentation) {
  Trace("LoadDebugInformation", {"C:\\App\\prog.exe"}, 2);
  Trace("Inner", {}, 2);
  Trace("Standalone");
  Trace("Inner=", {1}, -2);
  Trace("LoadDebugInformation=", {true}, -2);
  EXPECT_EQ(core::TraceLines(), (std::vector<std::string>{
                                    "05/03/07 14:02:11  LoadDebugInformation('C:\\App\\prog.exe')",
                                    "05/03/07 14:02:11    Inner",
                                    "05/03/07 14:02:11      Standalone",
                                    "05/03/07 14:02:11    Inner=(1)",
                                    "05/03/07 14:02:11  LoadDebugInformation=(True)",
                                }));
  EXPECT_EQ(core::TraceIndent(), "");
  // More exits than entries leave the indentation empty rather than broken.
  Trace("Unbalanced=", {}, -6);
  EXPECT_EQ(core::TraceIndent(), "");
  EXPECT_EQ(LastLine(), "Unbalanced=");
  EXPECT_EQ(core::FormatTraceTime({2010, 12, 31, 0, 5, 9}), "31/12/10 00:05:09");
}

TEST_F(TraceTest, NothingIsCollectedWhileOff) {
  core::SetTraceSwitches({});
  Trace("Off", {1, "two"}, 2);
  EXPECT_TRUE(core::TraceLines().empty());
  EXPECT_EQ(core::TraceIndent(), "");
  EXPECT_FALSE(IsTraceEnabled());
  SaveTraceLog();
  EXPECT_EQ(WrittenFiles::Writes, 0);
  EnableTrace();
  EXPECT_TRUE(IsTraceEnabled());
  Trace("On");
  EXPECT_EQ(core::TraceLines().size(), 1u);
}

TEST(TraceSwitches, FromTheLastArgument) {
  auto none = core::TraceSwitchesFromArguments({});
  EXPECT_FALSE(none.Enabled || none.SaveOnNotify || none.SaveEachLine);
  auto notLast = core::TraceSwitchesFromArguments({"DEBUG", "x"});
  EXPECT_FALSE(notLast.Enabled);
  auto debug = core::TraceSwitchesFromArguments({"ordalin://x", "-Debug"});
  EXPECT_TRUE(debug.Enabled && debug.SaveOnNotify);
  EXPECT_FALSE(debug.SaveEachLine);
  auto both = core::TraceSwitchesFromArguments({"a", "b", "debugsave"});
  EXPECT_TRUE(both.Enabled && both.SaveOnNotify && both.SaveEachLine);
  auto saveOnly = core::TraceSwitchesFromArguments({"save"});
  EXPECT_FALSE(saveOnly.Enabled);
  EXPECT_TRUE(saveOnly.SaveEachLine);
}

TEST_F(TraceTest, TraceFileHoldsEveryLineWithCrLf) {
  Trace("One", {1});
  Trace("Two");
  SaveTraceLog();
  ASSERT_EQ(WrittenFiles::Writes, 1);
  EXPECT_EQ(WrittenFiles::Files["C:\\App\\prog.log"],
            "05/03/07 14:02:11  One(1)\r\n05/03/07 14:02:11  Two\r\n");

  core::SetTraceSwitches({true, false, false});
  SaveTraceLogIfRequested();
  EXPECT_EQ(WrittenFiles::Writes, 1);
  core::SetTraceSwitches({true, true, false});
  SaveTraceLogIfRequested();
  EXPECT_EQ(WrittenFiles::Writes, 2);

  // Rewritten after every line.
  core::SetTraceSwitches({true, true, true});
  Trace("Three");
  EXPECT_EQ(WrittenFiles::Writes, 3);
  EXPECT_NE(WrittenFiles::Files["C:\\App\\prog.log"].find("Three\r\n"), std::string::npos);
}

TEST_F(TraceTest, AFileThatCannotBeWrittenFailsTheSaveButNotTheTrace) {
  core::SetTraceFileWriter(
      [](const std::string& path, const std::string&) { throw EFCreateError(path, "Denied."); });
  core::SetTraceSwitches({true, true, true});
  EXPECT_NO_THROW(Trace("Line"));
  try {
    SaveTraceLog();
    ADD_FAILURE() << "no error";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message, "Cannot create file \"C:\\App\\prog.log\". Denied.");
  }
}

// What the raise hook does: every raise is traced, also the one of a failing trace-file write.
namespace {
int g_failingWrites = 0;
void FailingWriterWhoseRaiseIsTraced(const std::string& path, const std::string&) {
  ++g_failingWrites;
  Trace("HookedRaise", {std::string_view("EFCreateError")});
  throw EFCreateError(path, "Denied.");
}
}  // namespace

TEST_F(TraceTest, ARaiseTracedFromInsideAFailingWriteNeitherHangsNorWritesAgain) {
  g_failingWrites = 0;
  core::SetTraceFileWriter(FailingWriterWhoseRaiseIsTraced);
  core::SetTraceSwitches({true, true, true});
  auto run = std::async(std::launch::async, [] {
    Trace("Line");
    int errors = 0;
    try {
      SaveTraceLog();
    } catch (const EFCreateError&) {
      ++errors;
    }
    return errors;
  });
  if (run.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    ADD_FAILURE() << "the trace hung on its own lock";
    std::_Exit(1);  // the hung thread cannot be joined
  }
  EXPECT_EQ(run.get(), 1);        // the save reports its failure once
  EXPECT_EQ(g_failingWrites, 2);  // the line's write and the save's: none from inside a write
  auto lines = core::TraceLines();
  ASSERT_EQ(lines.size(), 3u);  // Line, and the raise of each write
  EXPECT_NE(lines[1].find("HookedRaise('EFCreateError')"), std::string::npos);
}

TEST_F(TraceTest, WritingAfterEveryLineFromManyThreadsEndsWithEveryLine) {
  core::SetTraceSwitches({true, true, true});
  constexpr int kThreads = 4, kCalls = 40;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < kCalls; ++i) Trace("Work", {t, i});
    });
  for (auto& th : threads) th.join();
  const std::string& file = WrittenFiles::Files["C:\\App\\prog.log"];
  size_t lines = 0;
  for (size_t p = file.find("\r\n"); p != std::string::npos; p = file.find("\r\n", p + 2)) ++lines;
  EXPECT_EQ(lines, static_cast<size_t>(kThreads * kCalls));
}

TEST_F(TraceTest, WhileOffStalePointersAreNeverRead) {
  // Hooks trace exception objects and foreign pointers; with the trace off nothing of them may
  // be read (the sanitizers of the host build report any read of the freed memory).
  core::SetTraceSwitches({});
  auto* form = new tracetest::TDerivedForm;
  tracetest::TSomeForm* volatile staleForm = form;
  delete form;
  char* text = new char[16];
  std::strcpy(text, "gone");
  char* volatile staleText = text;
  delete[] text;
  Trace("HookedRaise",
        {static_cast<tracetest::TSomeForm*>(staleForm), static_cast<const char*>(staleText)}, 2);
  core::TraceArg object(static_cast<tracetest::TSomeForm*>(staleForm));
  EXPECT_EQ(object.kind(), core::TraceArgKind::Object);

  // Switched on, a live object and text are resolved when the line is written.
  core::SetTraceSwitches({true, false, false});
  tracetest::TDerivedForm live;
  tracetest::TSomeForm* asBase = &live;
  char liveText[] = "here";
  Trace("HookedRaise", {asBase, static_cast<const char*>(liveText)});
  EXPECT_EQ(LastLine(), "HookedRaise(TDerivedForm, 'here')");
}

TEST_F(TraceTest, SeveralThreadsAtOnce) {
  constexpr int kThreads = 6, kCalls = 300;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kCalls; ++i) {
        Trace("Work", {t, i}, 2);
        Trace("Work=", {i % 2 == 0}, -2);
      }
    });
  }
  for (auto& th : threads) th.join();
  auto lines = core::TraceLines();
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kCalls * 2));
  std::vector<int> perThread(kThreads);
  for (const auto& line : lines) {
    ASSERT_EQ(line.compare(0, 19, "05/03/07 14:02:11  "), 0) << line;
    std::string rest = line.substr(19);
    rest.erase(0, rest.find_first_not_of(' '));
    if (rest.rfind("Work(", 0) == 0)
      ++perThread[static_cast<size_t>(std::stoi(rest.substr(5)))];
    else
      ASSERT_TRUE(rest == "Work=(True)" || rest == "Work=(False)") << line;
  }
  for (int n : perThread) EXPECT_EQ(n, kCalls);
  EXPECT_EQ(core::TraceIndent(), "");  // every entry was matched by its exit
}

// Allocations made on this thread while counting is on.
namespace {
thread_local bool g_counting = false;
thread_local int g_allocations = 0;
}  // namespace

void* operator new(std::size_t size) {
  if (g_counting) ++g_allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

TEST_F(TraceTest, WhileOffACallNeitherFormatsNorAllocates) {
  core::SetTraceSwitches({});
  std::string name = "C:\\App\\prog.exe";
  g_counting = true;
  for (int i = 0; i < 100; ++i)
    Trace("LoadDebugInformation", {name, i, 2.5, true, &name, core::TraceArg::Currency(1)}, 2);
  g_counting = false;
  EXPECT_EQ(g_allocations, 0);
  EXPECT_EQ(core::TraceIndent(), "");

  core::SetTraceSwitches({true, false, false});
  g_counting = true;
  Trace("On", {name});
  g_counting = false;
  EXPECT_GT(g_allocations, 0);  // the counter does see the work of a real line
}
