// The log file on disk under Wine: capacity, damaged, foreign, locked, huge and missing files,
// the duplicate test, retries, two processes saving at once, and a writer killed mid-save.
#include <gtest/gtest.h>
#include <windows.h>

#include <random>
#include <set>

#include "core/internal_errors.h"
#include "report/log_file_win.h"
#include "support/win_process.h"

using namespace vl;

namespace {

using report::TLogSaveStep;
using testsupport::FileExists;
using testsupport::ReadFileText;
using testsupport::WriteFileText;

const std::string kRun = "\r\n\r\n\r\n\r\n";
// A carried-over entry whose report ends with a line break: that break is the first of four.
const std::string kCarried = "\r\n\r\n\r\n";

std::string Entry(const std::string& message) {
  return "VantorLog 4.5.4\r\n\r\nException:\r\n----\r\n  2.2 Address: 00401000\r\n"
         "  2.5 Message: " +
         message + "\r\n";
}

int CountEntries(const std::string& text) {
  report::TLogText log;
  log.Load(text);
  EXPECT_EQ(log.DroppedText(), "");
  return log.Count();
}

class LogFileTest : public testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    folder_ = std::string(temp) + "vl_log_" + std::to_string(GetCurrentProcessId()) + "_" +
              testing::UnitTest::GetInstance()->current_test_info()->name();
    CreateDirectoryA(folder_.c_str(), nullptr);
    file_ = folder_ + "\\app.vlf";
  }
  void TearDown() override {
    DeleteFileA(file_.c_str());
    DeleteFileA((file_ + ".bak").c_str());
    RemoveDirectoryA(folder_.c_str());
  }
  TLogSaveStep Step(const std::string& message) {
    TLogSaveStep step;
    step.FileName = file_;
    step.Report = Entry(message);
    step.SendText = step.Report;
    return step;
  }
  std::string folder_;
  std::string file_;
};

TEST_F(LogFileTest, AMissingFileIsCreatedAndTheNewEntryEndsWithFiveLineBreaks) {
  TLogSaveStep step = Step("first");
  EXPECT_TRUE(report::SaveReportToLog(step));
  EXPECT_EQ(ReadFileText(file_), Entry("first") + kRun + "\r\n");
  EXPECT_EQ(step.LoggedReport, Entry("first"));
  EXPECT_FALSE(FileExists(file_ + ".bak"));
  // The next save appends, leaving the first entry as it stands.
  TLogSaveStep second = Step("second");
  EXPECT_TRUE(report::SaveReportToLog(second));
  EXPECT_EQ(ReadFileText(file_), Entry("first") + kRun + "\r\n" + Entry("second") + kRun + "\r\n");
}

TEST_F(LogFileTest, AFullLogDropsItsOldestEntry) {
  std::string file;
  for (int i = 0; i < 32; ++i) file += Entry(std::to_string(i)) + kRun;
  ASSERT_TRUE(WriteFileText(file_, file));
  TLogSaveStep step = Step("new");
  step.Capacity = 32;
  step.SendWholeLog = true;
  EXPECT_TRUE(report::SaveReportToLog(step));
  const std::string text = ReadFileText(file_);
  EXPECT_EQ(CountEntries(text), 32);
  EXPECT_EQ(text.find(Entry("0")), std::string::npos);
  EXPECT_EQ(text.find(Entry("1")), 0u);
  EXPECT_EQ(step.SendText, text);

  // A capacity below 1 keeps only the new entry.
  TLogSaveStep zero = Step("alone");
  zero.Capacity = -3;
  EXPECT_TRUE(report::SaveReportToLog(zero));
  EXPECT_EQ(ReadFileText(file_), Entry("alone") + kRun + "\r\n");
}

TEST_F(LogFileTest, TextTheParserDropsIsSavedBesideTheLog) {
  const std::string damaged = "stray line\r\n" + Entry("kept") + kRun + Entry("unterminated");
  ASSERT_TRUE(WriteFileText(file_, damaged));
  TLogSaveStep step = Step("new");
  EXPECT_TRUE(report::SaveReportToLog(step));
  EXPECT_EQ(ReadFileText(file_), Entry("kept") + kCarried + Entry("new") + kRun + "\r\n");
  EXPECT_EQ(ReadFileText(file_ + ".bak"), "stray line\r\n" + Entry("unterminated"));
}

TEST_F(LogFileTest, FilesThatCannotBeUsedFailTheStepAndStayUntouched) {
  struct Case {
    const char* name;
    std::string contents;
  } cases[] = {
      {"foreign", "[Settings]\r\nKey=Value\r\n"},
      {"binary", std::string("MZ\0\1VantorLog", 13)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(WriteFileText(file_, c.contents));
    TLogSaveStep step = Step("new");
    EXPECT_FALSE(report::SaveReportToLog(step));
    EXPECT_EQ(LastStepError().Code, eeLogError);
    EXPECT_EQ(LastStepError().Message.rfind("[Log] ", 0), 0u) << LastStepError().Message;
    EXPECT_EQ(ReadFileText(file_), c.contents);
    EXPECT_FALSE(FileExists(file_ + ".bak"));
  }

  // A log damaged by a power loss or a cut save goes to the .bak whole; logging goes on.
  for (const std::string& damaged : {std::string(64, '\0'), Entry("cut")}) {
    ASSERT_TRUE(WriteFileText(file_, damaged));
    DeleteFileA((file_ + ".bak").c_str());
    TLogSaveStep step = Step("new");
    EXPECT_TRUE(report::SaveReportToLog(step));
    EXPECT_EQ(ReadFileText(file_), Entry("new") + kRun + "\r\n");
    EXPECT_EQ(ReadFileText(file_ + ".bak"), damaged + (damaged[0] ? "" : "\r\n"));
  }

  // Held share-none by someone else: the step fails, the duplicate test says "no duplicate".
  ASSERT_TRUE(WriteFileText(file_, Entry("held") + kRun));
  HANDLE held = CreateFileA(file_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  TLogSaveStep step = Step("new");
  EXPECT_FALSE(report::SaveReportToLog(step));
  EXPECT_EQ(LastStepError().Code, eeLogError);
  report::TDuplicateValues values;
  values.Address = "00401000";
  EXPECT_FALSE(report::IsDuplicateInLog(file_, true, values));
  CloseHandle(held);
  EXPECT_EQ(ReadFileText(file_), Entry("held") + kRun);

  // Too large to load (a sparse file): refused, left as it was.
  HANDLE big = CreateFileA(file_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(big, INVALID_HANDLE_VALUE);
  LARGE_INTEGER size;
  size.QuadPart = static_cast<LONGLONG>(report::MaxLogFileSize) + 1;
  ASSERT_TRUE(SetFilePointerEx(big, size, nullptr, FILE_BEGIN));
  ASSERT_TRUE(SetEndOfFile(big));
  CloseHandle(big);
  TLogSaveStep huge = Step("new");
  EXPECT_FALSE(report::SaveReportToLog(huge));
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExA(file_.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(data.nFileSizeLow, static_cast<DWORD>(size.QuadPart));

  // A missing folder.
  TLogSaveStep nowhere = Step("new");
  nowhere.FileName = folder_ + "\\missing\\app.vlf";
  EXPECT_FALSE(report::SaveReportToLog(nowhere));
  EXPECT_EQ(LastStepError().Code, eeLogError);
}

TEST_F(LogFileTest, TheDuplicateTestNeedsSkipRepeatsAndAllFourValues) {
  const std::string entry =
      "VantorLog 4.5.4\r\n\r\nException:\r\n----\r\n  2.1 Date   : x\r\n  2.2 Address: 00401000\r\n"
      "  2.3 Module : app.exe\r\n  2.4 Type   : EBoom\r\n  2.5 Message: Bad: thing.\r\n";
  ASSERT_TRUE(WriteFileText(file_, entry + kRun));
  report::TDuplicateValues same{"00401000", "app.exe", "EBoom", "Bad: thing."};
  EXPECT_TRUE(report::IsDuplicateInLog(file_, true, same));
  EXPECT_FALSE(report::IsDuplicateInLog(file_, false, same));
  report::TDuplicateValues other = same;
  other.Type = "EOther";
  EXPECT_FALSE(report::IsDuplicateInLog(file_, true, other));
  EXPECT_FALSE(report::IsDuplicateInLog(folder_ + "\\none.vlf", true, same));

  // A duplicate is not appended; the file is not written.
  TLogSaveStep step = Step("ignored");
  step.IsDuplicate = true;
  step.SendWholeLog = true;
  EXPECT_TRUE(report::SaveReportToLog(step));
  EXPECT_EQ(ReadFileText(file_), entry + kRun);
  EXPECT_EQ(step.SendText, entry + kCarried);
}

TEST_F(LogFileTest, ARetriedStepAddsTheReproductionBlockOnce) {
  HANDLE held = CreateFileA(file_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  TLogSaveStep step = Step("with steps");
  step.AskSteps = true;
  step.ReproductionCaption = "Request";
  step.ReproductionText = "click\r\n\r\n\r\n\r\nthen crash";
  int errors = 0;
  std::vector<int> actions;
  step.ErrorHandler = [&](int code, bool& retry) {
    EXPECT_EQ(code, 3);
    ++errors;
    CloseHandle(held);  // the other holder lets go; try again
    retry = errors == 1;
  };
  step.ActionHandler = [&](int action, bool&) { actions.push_back(action); };
  EXPECT_TRUE(report::SaveReportToLog(step));
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(actions, (std::vector<int>{2, 3}));
  const std::string logged = Entry("with steps") +
                             "\r\nRequest:\r\n----------------------------------------\r\n"
                             "click\r\n\r\nthen crash";
  EXPECT_EQ(step.LoggedReport, logged);
  EXPECT_EQ(step.SendText, logged);
  EXPECT_EQ(ReadFileText(file_), logged + kRun + "\r\n");
}

TEST_F(LogFileTest, AnActionHandlerCanSuppressTheWriteButTheSendTextIsPrepared) {
  ASSERT_TRUE(WriteFileText(file_, Entry("old") + kRun));
  TLogSaveStep step = Step("new");
  step.SendWholeLog = true;
  bool errorCalled = false;
  step.ActionHandler = [](int action, bool& result) {
    if (action == 2) result = false;
  };
  step.ErrorHandler = [&](int, bool&) { errorCalled = true; };
  EXPECT_FALSE(report::SaveReportToLog(step));
  EXPECT_FALSE(errorCalled);
  EXPECT_EQ(ReadFileText(file_), Entry("old") + kRun);
  EXPECT_EQ(step.SendText, Entry("old") + kCarried + Entry("new") + kRun + "\r\n");
}

// The messages of the log's entries, oldest first.
std::vector<std::string> Messages(const std::string& text) {
  report::TLogText log;
  log.Load(text);
  std::vector<std::string> messages;
  for (const std::string& item : log.Items()) {
    const size_t at = item.find("Message: ") + 9;
    messages.push_back(item.substr(at, item.find("\r\n", at) - at));
  }
  return messages;
}

// Another spelling of Folder: its short form, upper-cased, with a "." part.
std::string Respelled(const std::string& folder) {
  char name[MAX_PATH] = {};
  GetShortPathNameA(folder.c_str(), name, MAX_PATH);
  CharUpperBuffA(name, MAX_PATH);
  return name + std::string("\\.");
}

TEST_F(LogFileTest, TwoProcessesSavingAtOnceLoseNoReport) {
  const std::string writer = testsupport::ExeFolder() + "log_writer.exe";
  const std::string gateName = "vl_log_gate_" + std::to_string(GetCurrentProcessId());
  HANDLE gate = CreateEventA(nullptr, TRUE, FALSE, gateName.c_str());
  ASSERT_NE(gate, nullptr);
  testsupport::ChildProcess a("\"" + writer + "\" \"" + file_ + "\" A 20 64 " + gateName);
  testsupport::ChildProcess b("\"" + writer + "\" \"" + file_ + "\" B 20 64 " + gateName);
  ASSERT_TRUE(a.Started());
  ASSERT_TRUE(b.Started());
  Sleep(500);  // both are waiting at the gate
  SetEvent(gate);
  EXPECT_EQ(a.Wait(120000), 0u);
  EXPECT_EQ(b.Wait(120000), 0u);
  const std::string text = ReadFileText(file_);
  EXPECT_EQ(CountEntries(text), 40);
  for (int i = 0; i < 20; ++i) {
    EXPECT_NE(text.find("Message: A " + std::to_string(i) + "\r\n"), std::string::npos) << i;
    EXPECT_NE(text.find("Message: B " + std::to_string(i) + "\r\n"), std::string::npos) << i;
  }
  // Two spellings of the log, the same crashes logged with hfSkipRepeats: each crash once.
  DeleteFileA(file_.c_str());
  const std::string respelled = Respelled(folder_) + "\\APP.VLF";
  testsupport::ChildProcess c("\"" + writer + "\" \"" + file_ + "\" C 20 64 " + gateName + " skip");
  testsupport::ChildProcess d("\"" + writer + "\" \"" + respelled + "\" D 20 64 " + gateName +
                              " skip");
  EXPECT_EQ(c.Wait(120000) + d.Wait(120000), 0u);
  CloseHandle(gate);
  const std::vector<std::string> crashes = Messages(ReadFileText(file_));
  EXPECT_EQ(std::set<std::string>(crashes.begin(), crashes.end()).size(), 20u);
  EXPECT_EQ(crashes.size(), 20u);
}

// A second process kills the writer at 20 random moments of its save, at full capacity (the log
// is replaced) and below (appended to): the log holds the old entries, or those and the new one.
TEST_F(LogFileTest, AWriterKilledMidSaveLeavesTheOldEntriesOrThoseAndTheNewOne) {
  std::string old, padding;  // 16 entries of 512 KB: 8 MB to load and rewrite
  while (padding.size() < 512 * 1024) padding += "|00401000|app.exe|Unit|Class|Procedure|1|\r\n";
  for (int i = 0; i < 16; ++i) old += Entry("old " + std::to_string(i)) + padding + kRun;
  const std::vector<std::string> before = Messages(old);
  const std::string gate = "vl_kill_gate_" + std::to_string(GetCurrentProcessId());
  std::mt19937 random(GetTickCount());
  DWORD saveMs = INFINITE;
  for (int round = 0; round <= 20; ++round) {  // round 0 times a whole save
    ASSERT_TRUE(WriteFileText(file_, old));
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, gate.c_str());
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, (gate + "_ready").c_str());
    const std::string tag = "K" + std::to_string(round);
    testsupport::ChildProcess child("\"" + testsupport::ExeFolder() + "log_writer.exe\" \"" +
                                    file_ + "\" " + tag + " 1 " + (round % 2 ? "16 " : "64 ") +
                                    gate);
    ASSERT_EQ(WaitForSingleObject(ready, 30000), WAIT_OBJECT_0);
    const DWORD start = GetTickCount();
    SetEvent(go);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, child.Id());
    if (WaitForSingleObject(process, saveMs == INFINITE ? 60000 : random() % (saveMs + 1)) ==
        WAIT_TIMEOUT)
      TerminateProcess(process, 9);
    CloseHandle(process);
    if (round == 0) saveMs = GetTickCount() - start;
    child.Wait();
    CloseHandle(go);
    CloseHandle(ready);
    std::vector<std::string> after(before.begin() + round % 2, before.end());
    after.push_back(tag + " 0");
    const std::vector<std::string> now = Messages(ReadFileText(file_));
    EXPECT_TRUE(now == before || now == after) << round << ": " << now.size();
  }
}

TEST_F(LogFileTest, EverySpellingOfTheLogGivesOneMutexAndLongPathsAreHashed) {
  ASSERT_TRUE(WriteFileText(file_, ""));
  const std::string name = report::LogMutexName(file_);
  EXPECT_EQ(name.find('\\'), std::string::npos);
  EXPECT_EQ(report::LogMutexName(Respelled(folder_) + "\\x\\..\\App.VLF"), name);
  const std::string deep = "C:\\" + std::string(300, 'd') + "\\";
  EXPECT_LT(report::LogMutexName(deep + "a.vlf").size(), report::MaxLogMutexName);
  EXPECT_NE(report::LogMutexName(deep + "a.vlf"), report::LogMutexName(deep + "b.vlf"));
  EXPECT_TRUE(report::TLogFileLock(deep + "a.vlf", 0).Owned());
}

}  // namespace
