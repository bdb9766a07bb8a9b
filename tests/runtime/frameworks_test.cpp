// The runtime's host frameworks, each run for real: a GUI form whose window procedure raises,
// a CGI program under a pretend web server's environment and pipe, an ISAPI extension served
// on worker threads by a stand-in server, and a service installed in the Wine prefix.
#include <gtest/gtest.h>

#include <regex>

#include "support/win_process.h"
#include "support/win_service.h"

using testsupport::BoxText;
using testsupport::ChildProcess;
using testsupport::ExeFolder;
using testsupport::RunCaptured;

namespace {
std::string Quoted(const std::string& name) { return "\"" + ExeFolder() + name + "\""; }
}  // namespace

// ---- GUI: the window-procedure guard ----

TEST(GuardedWindowProcedure, ErrorInAFormReachesTheApplicationsBox) {
  ChildProcess child(Quoted("guarded_form_program.exe") + " convert");
  ASSERT_TRUE(child.Started());
  BoxText box;
  ASSERT_TRUE(child.DismissBox(box));
  EXPECT_EQ(box.caption, "Guarded Form Test");
  EXPECT_EQ(box.text, "'<12x>' is not a valid integer value.");
  // The program ran on after the error and closed its form normally.
  EXPECT_EQ(child.Wait(), 0u);
}

TEST(GuardedWindowProcedure, SilentAbortShowsNothing) {
  ChildProcess child(Quoted("guarded_form_program.exe") + " abort");
  ASSERT_TRUE(child.Started());
  BoxText box;
  EXPECT_FALSE(child.DismissBox(box, 3000)) << box.caption << ": " << box.text;
  EXPECT_EQ(child.Wait(), 0u);
}

// ---- CGI ----

TEST(CgiApplication, AnswersOnStandardOutput) {
  auto run = RunCaptured(Quoted("cgi_program.exe"),
                         {"REQUEST_METHOD=POST", "QUERY_STRING=", "PATH_INFO=/x"});
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.output,
            "Status: 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 14\r\n\r\n"
            "Hello, POST /x");
}

TEST(CgiApplication, RaisingHandlerGetsTheFrameworksOwn500WithEscapedText) {
  auto run = RunCaptured(Quoted("cgi_program.exe"), {"REQUEST_METHOD=GET", "QUERY_STRING=raise"});
  EXPECT_EQ(run.exitCode, 0u);
  const std::string page =
      "<html><head><title>Internal Server Error</title></head><body>"
      "<h1>Internal Server Error</h1><p>EConvertError: "
      "'&lt;b&gt;12x&lt;/b&gt;' is not a &quot;valid&quot; integer &amp; value</p></body></html>";
  EXPECT_EQ(run.output,
            "Status: 500 Internal Server Error\r\nContent-Type: text/html\r\n"
            "Content-Length: " +
                std::to_string(page.size()) + "\r\n\r\n" + page);
}

TEST(CgiApplication, SilentAbortAnswersNothing) {
  auto run = RunCaptured(Quoted("cgi_program.exe"), {"REQUEST_METHOD=GET", "QUERY_STRING=abort"});
  EXPECT_EQ(run.exitCode, 2u);
  EXPECT_EQ(run.output, "");
}

// ---- ISAPI ----

namespace {
struct IsapiAnswer {
  unsigned result = 0, code = 0;
  std::string status, header, body;
};

std::vector<IsapiAnswer> Serve(const std::vector<std::string>& queries) {
  std::string cmd = Quoted("isapi_host.exe") + " " + Quoted("isapi_test_extension.dll");
  for (const auto& q : queries) cmd += " " + q;
  auto run = RunCaptured(cmd);
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  std::vector<IsapiAnswer> answers;
  std::regex line(
      "conn=(\\d+) result=(\\d+) code=(\\d+)\nstatus=([^|]*)\\|header=([^|]*)\\|body=(.*)");
  std::string rest = run.output;
  size_t pos = 0;
  while (pos < rest.size()) {
    size_t first = rest.find('\n', pos);
    size_t second = first == std::string::npos ? first : rest.find('\n', first + 1);
    if (second == std::string::npos) break;
    std::smatch m;
    std::string record = rest.substr(pos, second - pos);
    if (!std::regex_match(record, m, line)) {
      ADD_FAILURE() << "unexpected record: " << record;
      break;
    }
    answers.push_back({static_cast<unsigned>(std::stoul(m[2])),
                       static_cast<unsigned>(std::stoul(m[3])), m[4], m[5], m[6]});
    pos = second + 1;
  }
  return answers;
}
}  // namespace

TEST(IsapiApplication, RaisingRequestAloneGets500WhileOthersAreServed) {
  auto answers = Serve({"slow", "raise", "hello"});
  ASSERT_EQ(answers.size(), 3u);
  // The slow request was still running when the other one raised.
  EXPECT_EQ(answers[0].result, 1u);  // HSE_STATUS_SUCCESS
  EXPECT_EQ(answers[0].code, 200u);
  EXPECT_EQ(answers[0].status, "200 OK");
  EXPECT_EQ(answers[0].header, "Content-Type: text/html\\r\\nContent-Length: 9\\r\\n\\r\\n");
  EXPECT_EQ(answers[0].body, "slow done");

  const std::string page =
      "<html><head><title>Internal Server Error</title></head><body>"
      "<h1>Internal Server Error</h1><p>EConvertError: "
      "'&lt;script&gt;' is not a &quot;valid&quot; integer &amp; value</p></body></html>";
  EXPECT_EQ(answers[1].result, 1u);
  EXPECT_EQ(answers[1].code, 500u);
  EXPECT_EQ(answers[1].status, "500 Internal Server Error");
  EXPECT_EQ(answers[1].header, "Content-Type: text/html\\r\\nContent-Length: " +
                                   std::to_string(page.size()) + "\\r\\n\\r\\n");
  EXPECT_EQ(answers[1].body, page);

  EXPECT_EQ(answers[2].code, 200u);
  EXPECT_EQ(answers[2].body, "Hello, GET hello");
}

// ---- Service ----

using testsupport::InstalledService;

TEST(Service, ErrorInExecuteGoesToTheEventLogAndStopsTheService) {
  std::string log = ExeFolder() + "service_raise.log";
  DeleteFileA(log.c_str());
  InstalledService service("VlRuntimeTestService",
                           Quoted("service_program.exe") + " \"" + log + "\" raise");
  ASSERT_NE(service.Handle(), nullptr) << GetLastError();
  ASSERT_TRUE(StartServiceA(service.Handle(), 0, nullptr)) << GetLastError();
  EXPECT_EQ(service.WaitState(SERVICE_STOPPED, 20000), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_EQ(testsupport::ReadFileText(log),
            "VlRuntimeTestService|1|0|0|'<12x>' is not a valid integer value\n");
}

TEST(Service, StopRequestEndsExecute) {
  std::string log = ExeFolder() + "service_run.log";
  DeleteFileA(log.c_str());
  InstalledService service("VlRuntimeTestService",
                           Quoted("service_program.exe") + " \"" + log + "\" run");
  ASSERT_NE(service.Handle(), nullptr) << GetLastError();
  ASSERT_TRUE(StartServiceA(service.Handle(), 0, nullptr)) << GetLastError();
  ASSERT_EQ(service.WaitState(SERVICE_RUNNING, 20000), static_cast<DWORD>(SERVICE_RUNNING));
  SERVICE_STATUS status;
  EXPECT_TRUE(ControlService(service.Handle(), SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(service.WaitState(SERVICE_STOPPED, 20000), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_EQ(testsupport::ReadFileText(log), "VlRuntimeTestService|4|0|0|stopped\n");
}

TEST(Service, OutsideTheServiceManagerNothingRuns) {
  std::string log = ExeFolder() + "service_direct.log";
  DeleteFileA(log.c_str());
  ChildProcess child(Quoted("service_program.exe") + " \"" + log + "\" raise");
  EXPECT_EQ(child.Wait(20000), 3u);
  EXPECT_FALSE(testsupport::FileExists(log));
}
