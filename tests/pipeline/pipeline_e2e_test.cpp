// The crash reporter end to end: a real console program carrying it fails without a handler;
// its standard output, exit code and log file are checked.
#include <gtest/gtest.h>
#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

#include "report/log_text.h"
#include "support/win_process.h"
#include "support/win_service.h"

using namespace vl;

namespace {

using testsupport::ExeFolder;

std::string Sample() { return ExeFolder() + "crash_sample.exe"; }
std::string LogFile() { return ExeFolder() + "crash_sample.vlf"; }

struct Outcome {
  DWORD ExitCode = 0;
  std::string Header;  // the first line and the empty line after it
  std::string Report;  // what followed, without the final line break
  std::vector<std::string> Entries;
  std::string Output;
};

Outcome RunSample(const std::string& arguments, bool freshLog = true) {
  if (freshLog) DeleteFileA(LogFile().c_str());
  testsupport::CapturedRun run = testsupport::RunCaptured("\"" + Sample() + "\" " + arguments);
  Outcome out;
  out.ExitCode = run.exitCode;
  out.Output = run.output;
  const size_t start = run.output.find("VantorLog ");
  if (start != std::string::npos) {
    out.Header = run.output.substr(0, start);
    out.Report = run.output.substr(start);
    if (out.Report.size() >= 2 && out.Report.compare(out.Report.size() - 2, 2, "\r\n") == 0) {
      out.Report.resize(out.Report.size() - 2);
    }
  }
  report::TLogText log;
  log.Load(testsupport::ReadFileText(LogFile()));
  out.Entries = log.Items();
  return out;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t from = 0;
  for (;;) {
    const size_t end = text.find("\r\n", from);
    lines.push_back(text.substr(from, end == std::string::npos ? std::string::npos : end - from));
    if (end == std::string::npos) return lines;
    from = end + 2;
  }
}

std::string Value(const std::string& report, const std::string& key) {
  for (const std::string& line : Lines(report)) {
    const size_t at = line.find(key + " ");
    if (at != std::string::npos && line.find_first_not_of(' ') == at) {
      const size_t colon = line.find(": ", at);
      return colon == std::string::npos ? "" : line.substr(colon + 2);
    }
  }
  return "";
}

// The call-stack rows (lines of the table starting with "|" after the first dashes).
std::vector<std::string> StackRows(const std::string& report) {
  std::vector<std::string> rows;
  bool inTable = false;
  for (const std::string& line : Lines(report)) {
    if (!inTable && line.rfind("Call Stack", 0) == 0) inTable = true;
    if (inTable && line.empty()) break;
    if (inTable && line.rfind("|", 0) == 0) rows.push_back(line);
  }
  if (!rows.empty()) rows.erase(rows.begin());  // the column headers
  return rows;
}

// The stack names Procedure at Line, then each caller after it (other rows may lie between).
void ExpectStackInOrder(const std::string& report,
                        const std::vector<std::pair<std::string, int>>& frames) {
  const std::vector<std::string> rows = StackRows(report);
  size_t next = 0;
  for (const std::string& row : rows) {
    if (next == frames.size()) break;
    const std::string line = "|" + std::to_string(frames[next].second);
    if (row.find(frames[next].first) != std::string::npos &&
        (frames[next].second == 0 || row.find(line) != std::string::npos)) {
      ++next;
    }
  }
  EXPECT_EQ(next, frames.size()) << report;
}

std::vector<int> SampleLines() {
  testsupport::CapturedRun run = testsupport::RunCaptured("\"" + Sample() + "\" lines");
  std::istringstream in(run.output);
  std::vector<int> lines(3, 0);
  in >> lines[0] >> lines[1] >> lines[2];
  return lines;
}

TEST(PipelineEndToEnd, UnhandledThrowIsPrintedAndLogged) {
  const std::vector<int> lines = SampleLines();
  ASSERT_GT(lines[2], 0);
  const Outcome out = RunSample("throw");
  EXPECT_EQ(out.ExitCode, 1u);
  ASSERT_FALSE(out.Report.empty());
  // The header text, then an empty line.
  ASSERT_GE(out.Header.size(), 4u);
  EXPECT_EQ(out.Header.substr(out.Header.size() - 4), "\r\n\r\n");
  EXPECT_EQ(out.Header.find("\r\n\r\n"), out.Header.size() - 4) << out.Header;
  // The log keeps the printed report, followed by its separator's line breaks.
  ASSERT_EQ(out.Entries.size(), 1u);
  EXPECT_EQ(out.Entries[0].substr(0, out.Report.size()), out.Report);
  EXPECT_EQ(out.Entries[0].find_first_not_of("\r\n", out.Report.size()), std::string::npos);
  const std::string module = Value(out.Report, "2.3");
  EXPECT_EQ(module.substr(module.rfind('\\') + 1), "crash_sample.exe");
  EXPECT_EQ(Value(out.Report, "2.4"), "Exception");
  EXPECT_EQ(Value(out.Report, "2.5"), "Sample failure three calls deep.");
  EXPECT_EQ(out.Report.find("\r\n3.1 "), std::string::npos) << "no active controls";
  ExpectStackInOrder(out.Report, {{"Third", lines[0]}, {"Second", lines[1]}, {"First", lines[2]}});
}

TEST(PipelineEndToEnd, AccessViolationIsReportedWithRegisters) {
  const std::vector<int> lines = SampleLines();
  const Outcome out = RunSample("av");
  EXPECT_EQ(out.ExitCode, 1u);
  ASSERT_EQ(out.Entries.size(), 1u);
  EXPECT_EQ(Value(out.Report, "2.4"), "EAccessViolation");
  EXPECT_EQ(out.Report.find("????"), std::string::npos) << "the fault's registers are known";
  ExpectStackInOrder(out.Report, {{"Second", lines[1]}, {"First", lines[2]}});
}

TEST(PipelineEndToEnd, ThreadReportEndsWithTheCreatorsStack) {
  const std::vector<int> lines = SampleLines();
  const Outcome out = RunSample("thread");
  ASSERT_EQ(out.Entries.size(), 1u) << out.Report;
  ExpectStackInOrder(out.Report, {{"Third", lines[0]}, {"First", lines[2]}, {"ThreadBody", 0}});
  const std::vector<std::string> rows = StackRows(out.Report);
  bool creator = false;
  for (const std::string& row : rows)
    creator = creator || row.find("StartFailingThread") != std::string::npos;
  EXPECT_TRUE(creator) << out.Report;
}

// Every way a program ends without a raise of its own is logged once, by name, from its caller;
// the program ends as it would without the reporter, its own handler running after the report.
TEST(PipelineEndToEnd, EachWayAProgramEndsIsLoggedOnceByName) {
  struct Case {
    const char* Mode;
    const char* Class;
    const char* Message;
    const char* Caller;
    DWORD ExitCode;
    bool OwnHandler = true;
  };
  for (const Case& c : {
           Case{"abort", "EAbnormalTermination", "Abnormal program termination.", "EndsBy", 3},
           Case{"terminate", "ETerminate",
                "The program was terminated without an active exception.", "EndsBy", 3},
           Case{"purevirtual", "EPureVirtualCall", "Pure virtual function called.",
                "CallsPureVirtual", 3},
           Case{"invalidparameter", "EInvalidParameter",
                "Invalid parameter passed to a C runtime function.", "EndsBy", 3},
           // Thousands of frames deep: the report keeps the first and last rows.
           Case{"overflow", "EStackOverflow", "Stack overflow.", "Recurse", 0xC00000FD, false},
           Case{"overflowthread", "EStackOverflow", "Stack overflow.", "Recurse", 0xC00000FD,
                false},
           // As the system raises it (RtlReportCriticalFailure); Wine faults in its heap instead.
           Case{"heapcorruption", "EHeapCorruption", "Heap corruption.", "RaiseException",
                0xC0000374, false},
       }) {
    SCOPED_TRACE(c.Mode);
    const Outcome out = RunSample(c.Mode);
    if (out.Output.find("this runtime has no") != std::string::npos) continue;
    EXPECT_EQ(out.ExitCode, c.ExitCode);
    ASSERT_EQ(out.Entries.size(), 1u) << out.Output;
    EXPECT_EQ(Value(out.Report, "2.4"), c.Class);
    EXPECT_EQ(Value(out.Report, "2.5"), c.Message);
    const std::vector<std::string> rows = StackRows(out.Report);
    ASSERT_FALSE(rows.empty());
    EXPECT_NE(rows[0].find(c.Caller), std::string::npos) << out.Report;
    if (c.OwnHandler) {
      EXPECT_GT(out.Output.find("own handler ran"), out.Output.find("VantorLog ")) << out.Output;
    } else {
      EXPECT_LE(out.Entries[0].size(), 256u * 1024);
      if (c.ExitCode == 0xC00000FD) {
        EXPECT_NE(out.Report.find(" rows left out)"), std::string::npos);
      }
    }
  }
}

TEST(PipelineEndToEnd, RepeatedReportIsLoggedOnce) {
  RunSample("skip");
  const Outcome second = RunSample("skip", false);
  EXPECT_EQ(second.ExitCode, 1u);
  EXPECT_EQ(second.Entries.size(), 1u);
}

TEST(PipelineEndToEnd, RestartStartsASecondInstanceBeforeEnding) {
  const std::string marker = ExeFolder() + "crash_sample.restarted";
  DeleteFileA(marker.c_str());
  const Outcome out = RunSample("restart \"" + marker + "\"");
  EXPECT_EQ(out.ExitCode, 1u);
  // The new instance found the marker the first one wrote before failing, and answered.
  const std::string answer = marker + ".second";
  for (int i = 0; i < 100 && !testsupport::FileExists(answer); ++i) Sleep(100);
  EXPECT_TRUE(testsupport::FileExists(answer));
  DeleteFileA(marker.c_str());
  DeleteFileA(answer.c_str());
}

TEST(PipelineEndToEnd, CgiProgramAnswersWithAnEscapedErrorPage) {
  DeleteFileA(LogFile().c_str());
  for (const char* method : {"REQUEST_METHOD=GET", "REQUEST_METHOD="}) {
    testsupport::CapturedRun run = testsupport::RunCaptured("\"" + Sample() + "\" html", {method});
    EXPECT_EQ(run.exitCode, 1u);
    const std::string& out = run.output;
    ASSERT_EQ(out.rfind("Status: 500 Error\r\nContent-Type: text/html\r\nContent-Length: ", 0), 0u)
        << out;
    const size_t body = out.find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos);
    const size_t lengthAt = out.find("Content-Length: ") + 16;
    EXPECT_EQ(std::stoul(out.substr(lengthAt)), out.size() - body - 4) << out;
    EXPECT_EQ(out.find("<script>"), std::string::npos);
    EXPECT_NE(out.find("&lt;script&gt;alert(1)&lt;/script&gt;&nbsp;&amp;&nbsp;&quot;more&quot;"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("</font></small></p></body></html>"), std::string::npos);
  }
}

TEST(PipelineEndToEnd, IsapiExtensionAnswersTheFailingRequestOnly) {
  const std::string host = ExeFolder() + "..\\runtime\\isapi_host.exe";
  testsupport::CapturedRun run = testsupport::RunCaptured("\"" + host + "\" \"" + ExeFolder() +
                                                          "isapi_sample.dll\" slow fail slow");
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_NE(run.output.find("conn=1 result=1 code=200\nstatus=200 OK|"), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("conn=3 result=1 code=200\nstatus=200 OK|"), std::string::npos)
      << run.output;
  const size_t failed = run.output.find("conn=2 result=1 code=500\nstatus=500 Error|");
  ASSERT_NE(failed, std::string::npos) << run.output;
  const std::string answer = run.output.substr(failed, run.output.find('\n', failed + 30) - failed);
  EXPECT_NE(answer.find("Request&nbsp;&lt;failed&gt;&nbsp;&amp;&nbsp;stopped."), std::string::npos)
      << answer;
  EXPECT_NE(answer.find("FailInRequest"), std::string::npos) << answer;
}

TEST(PipelineEndToEnd, ServiceLogsTheReportAndShowsNothing) {
  const std::string sink = ExeFolder() + "service_sample.events";
  const std::string log = ExeFolder() + "service_sample.vlf";
  DeleteFileA(sink.c_str());
  DeleteFileA(log.c_str());
  testsupport::InstalledService service(
      "VlPipelineTestService", "\"" + ExeFolder() + "service_sample.exe\" \"" + sink + "\" raise");
  ASSERT_NE(service.Handle(), nullptr) << GetLastError();
  ASSERT_TRUE(StartServiceA(service.Handle(), 0, nullptr)) << GetLastError();
  EXPECT_EQ(service.WaitState(SERVICE_STOPPED, 30000), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_FALSE(testsupport::FileExists(sink)) << testsupport::ReadFileText(sink);
  report::TLogText entries;
  entries.Load(testsupport::ReadFileText(log));
  ASSERT_EQ(entries.Count(), 1);
  EXPECT_NE(std::string(entries.Item(0)).find("'<12x>' is not a valid integer value"),
            std::string::npos);
}

}  // namespace
