// The core on Windows: a real program started with trace switches writes its trace file beside
// itself and shows the internal-error boxes; in process, the system calls behind the trace file,
// the memory dump and the options' change check.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>

#include "core/core_unit_win.h"
#include "core/internal_errors.h"
#include "core/module_options.h"
#include "core/trace.h"
#include "support/win_process.h"

using namespace vl;

using testsupport::BoxText;
using testsupport::ChildProcess;

namespace {

std::string Program() { return testsupport::ExeFolder() + "trace_program.exe"; }
std::string TraceFile() { return testsupport::ExeFolder() + "trace_program.log"; }

DWORD RunWith(const std::string& arguments) {
  ChildProcess child("\"" + Program() + "\" " + arguments);
  EXPECT_TRUE(child.Started());
  return child.Wait();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find("\r\n", at);
    if (end == std::string::npos) {
      lines.push_back(text.substr(at) + "<no CR LF>");
      break;
    }
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

// The line without its time stamp, after checking the stamp's form.
std::string Body(const std::string& line) {
  static const std::regex stamp("^\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d  ");
  std::smatch m;
  if (!std::regex_search(line, m, stamp)) return "<no time stamp> " + line;
  return m.suffix();
}

const std::vector<std::string> kNestedCall = {"Outer('C:\\App\\prog.exe', 42)", "  Inner(True)",
                                              "  Inner=(nil)", "Outer=(False)",
                                              "Facts(False, False)"};

}  // namespace

TEST(TraceSwitches, WithoutDebugNothingIsWritten) {
  DeleteFileA(TraceFile().c_str());
  EXPECT_EQ(RunWith("lines"), 0u);
  EXPECT_FALSE(testsupport::FileExists(TraceFile()));
  EXPECT_EQ(RunWith(""), 0u);
  EXPECT_FALSE(testsupport::FileExists(TraceFile()));
}

TEST(TraceSwitches, DebugInTheLastArgumentWritesTheTraceFile) {
  DeleteFileA(TraceFile().c_str());
  EXPECT_EQ(RunWith("lines x -debug"), 0u);
  std::vector<std::string> bodies;
  for (const auto& line : Lines(testsupport::ReadFileText(TraceFile())))
    bodies.push_back(Body(line));
  EXPECT_EQ(bodies, kNestedCall);

  DeleteFileA(TraceFile().c_str());
  EXPECT_EQ(RunWith("lines debug x"), 0u);  // not the last argument
  EXPECT_FALSE(testsupport::FileExists(TraceFile()));
}

TEST(TraceSwitches, SaveRewritesTheFileAfterEveryLine) {
  DeleteFileA(TraceFile().c_str());
  // The program ends without saving: only the per-line saves can have written the file.
  EXPECT_EQ(RunWith("exit b DEBUGSAVE"), 0u);
  std::vector<std::string> bodies;
  for (const auto& line : Lines(testsupport::ReadFileText(TraceFile())))
    bodies.push_back(Body(line));
  EXPECT_EQ(bodies, kNestedCall);

  DeleteFileA(TraceFile().c_str());
  EXPECT_EQ(RunWith("exit debug"), 0u);
  EXPECT_FALSE(testsupport::FileExists(TraceFile()));
}

TEST(InternalBug, OffersToMailTheTraceAndExplainsWhenItCannot) {
  DeleteFileA(TraceFile().c_str());
  ChildProcess child("\"" + Program() + "\" bug debug");
  ASSERT_TRUE(child.Started());
  BoxText question, info;
  ASSERT_TRUE(child.AnswerBox(question, IDYES));
  EXPECT_EQ(question.caption, "Probably internal bug");
  EXPECT_EQ(question.text,
            "Error: 'Step three failed'\r\n\r\nThis is an internal VantorLog bug.\r\nDo you want "
            "to send the bug information to VantorLog author?");
  // No mail client is wired up: the second box tells where the file is.
  ASSERT_TRUE(child.AnswerBox(info, IDOK));
  EXPECT_EQ(info.caption, "Information");
  EXPECT_EQ(info.text, "Cannot connect with your email client.\r\nSend manually the \"" +
                           TraceFile() + "\" file to the " + core::MakerBugReportAddress +
                           " email address,\r\nafter click on OK button to close this box.");
  EXPECT_EQ(child.Wait(), 0u);

  auto lines = Lines(testsupport::ReadFileText(TraceFile()));
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(Body(lines[0]),
            "[ERROR] - Section: InternalExceptNotify.3 - Message: \"Step three failed\"('')");
  // The raise happened in the program's code, so the code there is dumped.
  EXPECT_TRUE(
      std::regex_match(Body(lines[1]), std::regex("Memory Dump: \\('(\\$[0-9A-F]{2} ){32}'\\)")))
      << lines[1];
}

TEST(InternalBug, WithTheTraceOffNoBoxAppears) {
  DeleteFileA(TraceFile().c_str());
  ChildProcess child("\"" + Program() + "\" bug");
  BoxText box;
  EXPECT_FALSE(child.AnswerBox(box, IDOK)) << box.caption;
  EXPECT_EQ(child.Wait(), 0u);
  EXPECT_FALSE(testsupport::FileExists(TraceFile()));
}

TEST(StepError, SmtpErrorIsShownWhileTheProgressDialogIs) {
  DeleteFileA(TraceFile().c_str());
  ChildProcess child("\"" + Program() + "\" steperror debug");
  BoxText box;
  ASSERT_TRUE(child.AnswerBox(box, IDOK));
  EXPECT_EQ(box.caption, "Error.");
  EXPECT_EQ(box.text, "[SMTP] Connection refused");
  EXPECT_EQ(child.Wait(), 0u);
  auto lines = Lines(testsupport::ReadFileText(TraceFile()));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(Body(lines[0]),
            "[WARNING] - Code: eeEmailSMTPError - Message: \"[SMTP] Connection refused\"('')");
}

TEST(CorePlatform, TraceFileThatCannotBeCreated) {
  core::InstallCorePlatform();
  core::SetTraceSwitches({true, true, false});
  core::SetTraceFileName(testsupport::ExeFolder() + "no such folder\\x.log");
  try {
    SaveTraceLog();
    ADD_FAILURE() << "no error";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(
        e.Message.rfind(
            "Cannot create file \"" + testsupport::ExeFolder() + "no such folder\\x.log\". ", 0),
        0u)
        << e.Message;
    EXPECT_GT(e.Message.size(), 30 + testsupport::ExeFolder().size()) << "no system text";
  }
  core::SetTraceSwitches({});
  core::SetTraceFileName("");
  core::ClearTrace();
}

TEST(CorePlatform, MemoryIsReadOnlyInsideLoadedModules) {
  uint8_t bytes[32];
  auto code = reinterpret_cast<uintptr_t>(&core::ReadModuleMemory);
  EXPECT_TRUE(core::ReadModuleMemory(code, bytes, sizeof bytes));
  EXPECT_EQ(std::memcmp(bytes, reinterpret_cast<const void*>(code), sizeof bytes), 0);
  std::vector<uint8_t> heap(64);
  EXPECT_FALSE(core::ReadModuleMemory(reinterpret_cast<uintptr_t>(heap.data()), bytes, 32));
  EXPECT_FALSE(core::ReadModuleMemory(0, bytes, 32));
  EXPECT_FALSE(core::ReadModuleMemory(UINTPTR_MAX - 8, bytes, 32));  // wraps around
  EXPECT_FALSE(IsDebuggerAttached());
}

TEST(CorePlatform, OnlyTheCrashReportersOwnModulePublishes) {
  core::InstallCorePlatform();
  static int published = 0;
  core::Seams().PublishModuleFile = [](const std::vector<uint8_t>&) { ++published; };
  char exe[MAX_PATH];
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  TVantorModuleOptionsEx own(exe, true);
  EXPECT_EQ(published, 1);
  own.SetMailSubject("x");
  EXPECT_EQ(published, 2);
  TVantorModuleOptionsEx system("kernel32.dll", true);
  system.SetMailSubject("x");
  TVantorModuleOptionsEx working("", false);
  working.SetMailSubject("x");
  EXPECT_EQ(published, 2);
  core::Seams() = core::TSeams();
}
