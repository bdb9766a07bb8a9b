// Simple MAPI and mailto delivery against stand-ins under Wine: a MAPI library registered as the
// default mail client (tests/delivery/mapi_standin.cpp) and a mail program registered for
// mailto links (mailto_standin.cpp). Registry values are put back when the program ends.
#include <memory>

#include "core/internal_errors.h"
#include "delivery/mail_client.h"
#include "delivery/mailto_link.h"
#include "delivery/send_texts.h"
#include "delivery_test_support.h"
#include "runtime/system.h"

using namespace vl;

using namespace delivery;
using namespace deliverytest;

namespace {

class MailEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    UseLoopbackOnly();
    saved_.emplace_back(new SavedRegistryText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Clients\\Mail", ""));
    saved_.emplace_back(
        new SavedRegistryText(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command", ""));
    SetEnvironmentVariableA("VL_MAPI_LOG", MapiLog().c_str());
    SetEnvironmentVariableA("VL_MAILTO_LOG", MailtoLog().c_str());
    std::string folder = testsupport::ExeFolder();
    folder.pop_back();
    SetEnvironmentVariableA("VL_STANDIN_DIR", folder.c_str());
  }
  void TearDown() override {
    CloseMailtoStandIn();
    saved_.clear();
  }

 private:
  std::vector<std::unique_ptr<SavedRegistryText>> saved_;
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new MailEnvironment);

bool Loaded(const char* dll) { return GetModuleHandleA(dll) != nullptr; }

}  // namespace

TEST(MapiMail, StandInClientAnswersEachCase) {
  // Found through the registry with an environment variable in its path.
  RegisterMailClient("%VL_STANDIN_DIR%\\vl_mapi_standin.dll");
  const std::string report = PeerDir() + "mapi-report.vlf";
  testsupport::WriteFileText(report, "report");
  const std::vector<std::string> files = {report, "", PeerDir() + "missing.png"};
  const std::string sent = "SendMail 20816 1 subject=Subj body=Body recipients=";
  struct Case {
    const char* fail;
    const char* recipients;
    bool result;
    const char* error;  // eeEmailMAPIError text; "" : no step error
    std::vector<std::string> log;
  } cases[] = {
      {"",
       "a@x.test; b@y.test",
       true,
       "",
       {"Logon 1", "ResolveName a@x.test", "ResolveName b@y.test", sent + "2 files=1",
        "To 1 Name of a@x.test SMTP:a@x.test EID1", "To 1 Name of b@y.test SMTP:b@y.test EID2",
        "File -1 " + report + " mapi-report.vlf", "FreeBuffer", "FreeBuffer", "Logoff 20816"}},
      {"logon", "a@x.test", false, "Cannot LogOn into the MAPI service.", {"Logon 1"}},
      // The second of three cannot be resolved: nothing is sent, no step error.
      {"resolve2",
       "a@x.test,b@y.test,c@z.test",
       false,
       "",
       {"Logon 1", "ResolveName a@x.test", "ResolveName b@y.test", "FreeBuffer", "Logoff 20816"}},
      {"send",
       "a@x.test",
       false,
       "Cannot send the MAPI message.",
       {"Logon 1", "ResolveName a@x.test", sent + "1 files=1",
        "To 1 Name of a@x.test SMTP:a@x.test EID1", "File -1 " + report + " mapi-report.vlf",
        "FreeBuffer", "Logoff 20816"}},
      // Names and addresses of 300 characters are copied as 256.
      {"long",
       "a@x.test",
       true,
       "",
       {"Logon 1", "ResolveName a@x.test", sent + "1 files=1",
        "To 1 " + std::string(256, 'n') + " " + std::string(256, 'a') + " EID1",
        "File -1 " + report + " mapi-report.vlf", "FreeBuffer", "Logoff 20816"}},
  };
  for (const Case& c : cases) {
    SetEnvironmentVariableA("VL_MAPI_FAIL", c.fail);
    ClearStepError();
    EXPECT_EQ(SendMapiMail(c.recipients, "Subj", "Body", files), c.result) << c.fail;
    EXPECT_EQ(TakeLog(MapiLog()), c.log) << c.fail;
    EXPECT_EQ(LastStepError().Code, *c.error ? eeEmailMAPIError : eeNone) << c.fail;
    EXPECT_EQ(LastStepError().Message, c.error) << c.fail;
    EXPECT_FALSE(Loaded("vl_mapi_standin.dll")) << c.fail << ": the library stays loaded";
  }
  SetEnvironmentVariableA("VL_MAPI_FAIL", "");

  // A library without the five functions.
  RegisterMailClient(testsupport::ExeFolder() + "vl_mapi_partial.dll");
  EXPECT_FALSE(SendMapiMail("a@x.test", "Subj", "Body", files));
  EXPECT_EQ(LastStepError().Message, "Cannot found the MAPI functions.");
  EXPECT_FALSE(Loaded("vl_mapi_partial.dll"));
  EXPECT_TRUE(TakeLog(MapiLog()).empty());

  // The internal-error report's seam sends its one file the same way.
  RegisterMailClient(testsupport::ExeFolder() + "vl_mapi_standin.dll");
  core::Seams().SendMapiMail = nullptr;
  InstallDeliverySeams();
  ASSERT_NE(core::Seams().SendMapiMail, nullptr);
  EXPECT_TRUE(core::Seams().SendMapiMail("m@x.test", "Crash", "Crash", report));
  EXPECT_EQ(TakeLog(MapiLog()).size(), 7u);
}

// Without the system's MAPI library Simple MAPI cannot be opened (a second process, in which
// mapi32.dll is switched off).
TEST(MapiMail, NoLibraryAtAll) {
  if (Env("VL_NO_MAPI32") == "1") {
    RegisterMailClient("");
    EXPECT_FALSE(SendMapiMail("a@x.test", "Subj", "Body", {}));
    EXPECT_EQ(LastStepError().Code, eeEmailMAPIError);
    EXPECT_EQ(LastStepError().Message, "Cannot open the MAPI dll.");
    return;
  }
  char exe[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  // Wine's per-program overrides: an empty value switches the library off.
  const std::string overrides =
      "Software\\Wine\\AppDefaults\\delivery_windows_test.exe\\DllOverrides";
  SetRegistryText(HKEY_CURRENT_USER, overrides, "mapi32", "");
  const testsupport::CapturedRun run = testsupport::RunCaptured(
      std::string("\"") + exe + "\" --gtest_filter=MapiMail.NoLibraryAtAll", {"VL_NO_MAPI32=1"});
  RegDeleteKeyA(HKEY_CURRENT_USER, overrides.c_str());
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_NE(run.output.find("[  PASSED  ] 1 test"), std::string::npos) << run.output;
}

TEST(Mailto, TheLinkStaysOneArgumentAndDecodesBack) {
  const std::string subject = "Bug \"1\" & caf\xE9";
  const std::string tail = MailtoReportTail("report \"q\" & 100% r\xE9sum\xE9", "steps");
  MailtoFields expected{"a@x.test,b@y.test", AnsiToUtf8(subject), "x & y", AnsiToUtf8(tail)};
  const std::string link = BuildMailtoLink(expected);
  struct Case {
    std::string commandTemplate;
    std::vector<std::string> args;
  } cases[] = {
      {"\"" + MailtoStandIn() + "\" \"%1\"", {"arg " + link}},
      // Unquoted, with words around: the link holds no blank, so it stays one argument.
      {MailtoStandIn() + " -compose %1 end", {"arg -compose", "arg " + link, "arg end"}},
  };
  for (const Case& c : cases) {
    RegisterMailtoCommand(c.commandTemplate.c_str());
    ClearStepError();
    const DWORD start = GetTickCount();
    EXPECT_TRUE(SendMailto("a@x.test; b@y.test", subject, "x & y", tail))
        << LastStepError().Message;
    EXPECT_LT(GetTickCount() - start, 4000u);
    EXPECT_EQ(LastStepError().Code, eeNone);
    std::vector<std::string> log = TakeLog(MailtoLog());
    ASSERT_FALSE(log.empty()) << c.commandTemplate;
    log.erase(log.begin());  // the whole command line
    EXPECT_EQ(log, c.args);
    // The program's window is brought up top-most and maximized.
    HWND window = FindWindowA("VantorMailtoStandIn", nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_TRUE(IsZoomed(window));
    CloseMailtoStandIn();
  }
  std::string body;
  ASSERT_TRUE(PercentDecode(link.substr(link.find("&Body=") + 6), body));
  EXPECT_EQ(body, "x  y" + AnsiToUtf8(tail));

  // A report too long for a command line is cut; the program still starts.
  RegisterMailtoCommand(cases[0].commandTemplate.c_str());
  EXPECT_TRUE(SendMailto("a@x.test", "S", "B", std::string(100000, 'r')));
  const std::vector<std::string> log = TakeLog(MailtoLog());
  ASSERT_EQ(log.size(), 2u);
  EXPECT_LT(log[0].size() - 5, MaxMailtoCommandLine);  // after "line "
  EXPECT_GT(log[0].size(), MaxMailtoCommandLine - 100);
  CloseMailtoStandIn();

  // No program registered: the system's text.
  RegisterMailtoCommand(nullptr);
  EXPECT_FALSE(SendMailto("a@x.test", "S", "B", "R"));
  EXPECT_EQ(LastStepError().Code, eeEmailShellError);
  EXPECT_FALSE(LastStepError().Message.empty());
  EXPECT_TRUE(TakeLog(MailtoLog()).empty());
}
