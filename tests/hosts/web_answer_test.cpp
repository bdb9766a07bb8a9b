// The web error answer and the host-kind tests, through real programs: a console program under
// a pretend CGI server, a GUI program started as WinCGI, an ISAPI extension served on worker
// threads.
#include <gtest/gtest.h>

#include <regex>

#include "support/win_process.h"

using testsupport::ExeFolder;
using testsupport::ReadFileText;
using testsupport::RunCaptured;
using testsupport::WriteFileText;

namespace {

const std::string kPage = "<html><body>Error &amp; more</body></html>";

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

struct Outcome {
  std::string output;  // standard output
  std::string report;  // the program's report line
  DWORD exitCode;
};

Outcome RunProgram(const std::string& program, const std::string& args,
                   std::vector<std::string> environment) {
  std::string report = ExeFolder() + program + ".report";
  DeleteFileA(report.c_str());
  environment.push_back("VL_TEST_PAGE=" + kPage);
  environment.push_back("VL_TEST_REPORT=" + report);
  auto run = RunCaptured(Quoted(ExeFolder() + program + ".exe") + args, environment);
  return {run.output, ReadFileText(report), run.exitCode};
}

std::string CgiAnswer(bool statusLine) {
  return std::string(statusLine ? "Status: 500 Error\r\n" : "") +
         "Content-Type: text/html\r\nContent-Length: " + std::to_string(kPage.size()) +
         "\r\nContent:\r\n\r\n" + kPage;
}

}  // namespace

TEST(CgiHost, RequestMethodSetEvenEmptyMeansCgiAndTheAnswerGoesToStandardOutput) {
  for (const char* method : {"REQUEST_METHOD=GET", "REQUEST_METHOD="}) {
    Outcome out = RunProgram("web_answer_console", "", {method});
    EXPECT_EQ(out.exitCode, 0u);
    EXPECT_EQ(out.report, "console=1 cgi=1 wincgi=0 isapi=0 web=1 gui=0 result=1 error=\n")
        << method;
    EXPECT_EQ(out.output, CgiAnswer(true)) << method;
  }
}

TEST(CgiHost, WithoutTheVariableAConsoleProgramWritesNothing) {
  Outcome out = RunProgram("web_answer_console", "", {"REQUEST_METHOD"});
  EXPECT_EQ(out.report, "console=1 cgi=0 wincgi=0 isapi=0 web=0 gui=0 result=1 error=\n");
  EXPECT_EQ(out.output, "");
}

TEST(WinCgiHost, AnswerReplacesAPartialAnswerButNeverTouchesAFileThatHeldData) {
  const std::string dir = ExeFolder();
  const std::string ini = dir + "wincgi_request.ini";
  const std::string output = dir + "wincgi_output.htm";
  ASSERT_TRUE(WriteFileText(
      ini, "[CGI]\r\nRequest Method=GET\r\n[System]\r\nOutput File=" + output + "\r\n"));
  ASSERT_TRUE(WriteFileText(output, ""));
  Outcome out = RunProgram("web_answer_gui", " " + Quoted(ini),
                           {"REQUEST_METHOD", "VL_TEST_PARTIAL=" + std::string(5000, 'o')});
  EXPECT_EQ(out.report, "console=0 cgi=0 wincgi=1 isapi=0 web=1 gui=0 result=1 error=\n");
  EXPECT_EQ(ReadFileText(output), CgiAnswer(true));
  out = RunProgram("web_answer_gui", " " + Quoted(ini), {"REQUEST_METHOD"});
  EXPECT_NE(out.report.find("wincgi=1 isapi=0 web=1 gui=0 result=0 error=[WinCGI] The output"),
            std::string::npos)
      << out.report;
  EXPECT_EQ(ReadFileText(output), CgiAnswer(true));
}

TEST(WinCgiHost, ThirdParameterNamesTheOutputAndARelativeProfileIsFoundInTheCurrentFolder) {
  const std::string dir = ExeFolder();
  ASSERT_TRUE(WriteFileText(dir + "wincgi_relative.ini", "[CGI]\nRequest Method=POST\n"));
  const std::string output = dir + "wincgi_third.htm";
  ASSERT_TRUE(WriteFileText(output, ""));
  std::string report = dir + "web_answer_gui.report";
  DeleteFileA(report.c_str());
  // Started in the test's folder with a bare profile name.
  SetCurrentDirectoryA(dir.c_str());
  auto run = RunCaptured(
      Quoted(dir + "web_answer_gui.exe") + " wincgi_relative.ini in.dat " + Quoted(output),
      {"VL_TEST_PAGE=" + kPage, "VL_TEST_REPORT=" + report});
  EXPECT_EQ(ReadFileText(report), "console=0 cgi=0 wincgi=1 isapi=0 web=1 gui=0 result=1 error=\n");
  EXPECT_EQ(ReadFileText(output), CgiAnswer(true));
}

TEST(WinCgiHost, OversizedUnreadableOrMissingProfilesAreNoWinCgi) {
  const std::string dir = ExeFolder();
  const std::string output = dir + "wincgi_untouched.htm";
  ASSERT_TRUE(WriteFileText(output, "old"));
  std::string profile = "[CGI]\r\nRequest Method=GET\r\n[System]\r\nOutput File=" + output + "\r\n";
  std::string big = profile + ";" + std::string(102400 - profile.size(), 'x');  // 102,401 bytes
  ASSERT_EQ(big.size(), 102401u);
  ASSERT_TRUE(WriteFileText(dir + "wincgi_big.ini", big));
  CreateDirectoryA((dir + "wincgi_folder.ini").c_str(), nullptr);
  for (const char* name : {"wincgi_big.ini", "wincgi_folder.ini", "wincgi_missing.ini"}) {
    Outcome out = RunProgram("web_answer_gui", " " + Quoted(dir + name), {});
    EXPECT_EQ(out.report, "console=0 cgi=0 wincgi=0 isapi=0 web=0 gui=1 result=1 error=\n") << name;
    EXPECT_EQ(ReadFileText(output), "old") << name;
  }
}

TEST(IsapiHost, AnswerGoesToTheFaultingThreadsRequestOnly) {
  auto run =
      RunCaptured(Quoted(ExeFolder() + "..\\runtime\\isapi_host.exe") + " " +
                  Quoted(ExeFolder() + "isapi_answer_extension.dll") + " slow answer background");
  ASSERT_EQ(run.exitCode, 0u) << run.output;
  const std::string header =
      "Content-Type: text/html\\r\\nContent-Length: " + std::to_string(kPage.size()) +
      "\\r\\nContent:\\r\\n\\r\\n";
  EXPECT_NE(run.output.find("conn=1 result=1 code=200\nstatus=200 OK|header=Content-Type: "
                            "text/html\\r\\nContent-Length: 9\\r\\n\\r\\n|body=slow done\n"),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("conn=2 result=1 code=500\nstatus=500 Error|header=" + header +
                            "|body=" + kPage + "\n"),
            std::string::npos)
      << run.output;
  // A thread of the extension that serves no request gets no answer sent anywhere.
  EXPECT_NE(run.output.find("conn=3 result=1 code=200\nstatus=200 OK|header=Content-Type: "
                            "text/html\\r\\nContent-Length: 37\\r\\n\\r\\n|body=result=0 "
                            "error=ISAPI: ServerECB = nil\n"),
            std::string::npos)
      << run.output;
}
