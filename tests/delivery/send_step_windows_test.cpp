// The e-mail step against the loopback peers (run-with-peers.sh checks each received message)
// and the stand-in mail programs: the SMTP modes with the real progress dialog, handlers 4 and
// 5, retry, the mail-client fall-back, and the temporary report file.
#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "core/internal_errors.h"
#include "delivery/mailto_link.h"
#include "delivery/send_step.h"
#include "delivery/send_texts.h"
#include "delivery_test_support.h"
#include "dialogs/send_progress.h"

// After windows.h, which it needs.
#include <commctrl.h>

using namespace vl;

using namespace delivery;
using namespace deliverytest;

namespace {

const std::string kSendText = "VantorLog report\r\n.\r\n..dots & more\nbare\r\n";

struct Calls {
  std::vector<std::string> Seen;  // "action 4 1", "error 5 0", "thread"
};

// Options for one send to the peer on PortVariable, the log file named "app.vlf".
std::unique_ptr<TVantorModuleOptions> Options(TMailMode mode, const char* portVariable,
                                              const std::string& recipients) {
  auto options = std::make_unique<TVantorModuleOptions>("C:\\App\\app.exe", false);
  options->SetMailMode(mode);
  options->SetSmtpServer("127.0.0.1");
  if (portVariable) options->SetSmtpServerPort(PortOf(portVariable));
  options->SetMailRecipients(recipients);
  options->SetMailSubject("Step report");
  options->SetMailBodyText("Please look.");
  options->SetShowSmtpProgress(false);
  options->SetLogLocation(PeerDir());
  return options;
}

TSendInput Input(const TVantorModuleOptions& options, Calls& calls) {
  TSendInput input;
  input.Options = &options;
  input.SendText = kSendText;
  input.FullReport = "full report";
  input.ReproductionText = "steps";
  input.OnAction = [&calls](int action, bool& result) {
    calls.Seen.push_back("action " + std::to_string(action) + " " + std::to_string(result));
  };
  input.OnError = [&calls](int action, bool& retry) {
    calls.Seen.push_back("error " + std::to_string(action) + " " + std::to_string(retry));
  };
  input.CallOnExceptionThread = [&calls](const std::function<void()>& call) {
    calls.Seen.push_back("thread");
    call();
  };
  return input;
}

// What the checker expects of the message to Tag: the body, the report file (its bytes written
// under Tag\app.vlf) and the screenshot when given.
void Expect(const std::string& tag, const std::string& body, bool reportFile,
            const std::string& screenshot = "") {
  std::string text = "subject=" + Hex("Step report") + "\nbody=" + Hex(body) + "\n";
  if (reportFile) {
    CreateDirectoryA((PeerDir() + tag).c_str(), nullptr);
    testsupport::WriteFileText(PeerDir() + tag + "\\app.vlf", ReportFileBytes(kSendText));
    text += "file=" + tag + "/app.vlf\n";
  }
  if (!screenshot.empty()) text += "file=" + screenshot + "\n";
  testsupport::WriteFileText(PeerDir() + tag + ".expect", text);
}

std::vector<std::string> Commands(const std::string& mode) {
  std::vector<std::string> list;
  for (const std::string& line : Lines(testsupport::ReadFileText(PeerDir() + "commands.log")))
    if (line.compare(0, mode.size() + 1, mode + " ") == 0)
      list.push_back(line.substr(mode.size() + 1));
  return list;
}

// The report file is this process's own.
std::string TempReport() {
  return GetTempFolder() + "VantorLog." + std::to_string(GetCurrentProcessId()) + "\\app.vlf";
}
bool TempReportLeft() { return testsupport::FileExists(TempReport()); }

}  // namespace

TEST(SendStep, BothDialoguesWithFilesAndHandlers) {
  CreateDirectoryA((PeerDir() + "shot").c_str(), nullptr);
  std::string png(300000, '\0');
  for (size_t i = 0; i < png.size(); ++i) png[i] = static_cast<char>(i * 7 + i / 251);
  testsupport::WriteFileText(PeerDir() + "shot\\Screenshot.png", png);

  auto plain = Options(mmViaServer, "VL_SMTP_PLAIN", "step-plain@x.test");
  Calls calls;
  TSendInput input = Input(*plain, calls);
  input.ScreenshotRequested = true;
  input.ScreenshotFile = PeerDir() + "shot\\Screenshot.png";
  plain->SetAddScreenshot(true);
  EXPECT_TRUE(SendReportByEmail(input)) << LastStepError().Message;
  EXPECT_EQ(LastStepError().Code, eeNone);
  EXPECT_EQ(calls.Seen, (std::vector<std::string>{"thread", "action 4 1", "thread", "action 5 1"}));
  EXPECT_FALSE(TempReportLeft());
  EXPECT_TRUE(testsupport::FileExists(input.ScreenshotFile)) << "the screenshot is not the step's";
  Expect("step-plain", "Please look.", true, "shot/Screenshot.png");

  // Login; the screenshot not kept by the user is not attached.
  auto login = Options(mmViaServer, "VL_SMTP_AUTH", "step-login@x.test");
  login->SetSmtpUser("reporter");
  login->SetSmtpLoginPassword(std::string(70, 'p'));
  login->SetAddScreenshot(true);
  Calls loginCalls;
  input = Input(*login, loginCalls);
  input.ScreenshotRequested = false;
  EXPECT_TRUE(SendReportByEmail(input)) << LastStepError().Message;
  EXPECT_EQ(Commands("auth").size(), 6u);
  Expect("step-login", "Please look.", true);

  // The report in the body: no file is written or attached.
  auto inBody = Options(mmViaServer, "VL_SMTP_PLAIN", "step-body@x.test");
  inBody->SetReportInBody(true);
  Calls bodyCalls;
  EXPECT_TRUE(SendReportByEmail(Input(*inBody, bodyCalls)));
  Expect("step-body", "Please look.\r\n\r\n\r\n" + kSendText, false);
}

TEST(SendStep, HandlersCancelObserveAndRetry) {
  // A before-sending handler that clears the result: nothing is sent, no after-sending call,
  // the report file is still deleted.
  auto options = Options(mmViaServer, "VL_SMTP_PLAIN", "never@x.test");
  Calls calls;
  TSendInput input = Input(*options, calls);
  bool fileSeen = false;
  input.OnAction = [&](int action, bool& result) {
    fileSeen = TempReportLeft();
    calls.Seen.push_back("action " + std::to_string(action));
    result = false;
  };
  const size_t before = Commands("plain").size();
  EXPECT_FALSE(SendReportByEmail(input));
  EXPECT_TRUE(fileSeen) << "the report file exists while the handlers run";
  EXPECT_EQ(calls.Seen, (std::vector<std::string>{"thread", "action 4"}));
  EXPECT_EQ(Commands("plain").size(), before);
  EXPECT_FALSE(TempReportLeft());

  // 550 at RCPT: the step error is the transcript; the error handler asks for a retry once,
  // after pointing the options at a server that accepts.
  auto refused = Options(mmViaServer, "VL_SMTP_RCPT550", "step-retry@x.test");
  Calls retryCalls;
  input = Input(*refused, retryCalls);
  std::string firstError;
  input.OnError = [&](int action, bool& retry) {
    retryCalls.Seen.push_back("error " + std::to_string(action) + " " + std::to_string(retry));
    firstError = LastStepError().Message;
    refused->SetSmtpServerPort(PortOf("VL_SMTP_PLAIN"));
    retry = true;
  };
  EXPECT_TRUE(SendReportByEmail(input));
  EXPECT_EQ(retryCalls.Seen, (std::vector<std::string>{"thread", "action 4 1", "thread",
                                                       "error 5 0", "thread", "action 5 1"}));
  EXPECT_EQ(firstError.rfind("[SMTP] Connected to 127.0.0.1 port ", 0), 0u) << firstError;
  const std::string tail = "RCPT TO:<step-retry@x.test>\r\n550 5.1.1 No such user here\r\n";
  ASSERT_GT(firstError.size(), tail.size());
  EXPECT_EQ(firstError.substr(firstError.size() - tail.size()), tail);
  Expect("step-retry", "Please look.", true);

  // Without a retry the failure stays the result; an SMTP mode never falls back to mailto.
  RegisterMailtoCommand(("\"" + MailtoStandIn() + "\" %1").c_str());
  auto failing = Options(mmViaServer, "VL_SMTP_RCPT550", "refused@x.test");
  Calls failCalls;
  EXPECT_FALSE(SendReportByEmail(Input(*failing, failCalls)));
  EXPECT_EQ(failCalls.Seen, (std::vector<std::string>{"thread", "action 4 1", "thread", "error 5 0",
                                                      "thread", "action 5 0"}));
  EXPECT_EQ(LastStepError().Code, eeEmailSMTPError);
  EXPECT_TRUE(TakeLog(MailtoLog()).empty());
  EXPECT_FALSE(TempReportLeft());
}

TEST(SendStep, DirectModeGoesOnAfterAFailedLookUp) {
  // The first domain has no exchanger (asked once for both of its recipients), the others are
  // served by their own.
  auto options =
      Options(mmDirect, "VL_SMTP_PLAIN",
              "lost@unknown.test; step-d1@two.test;also@UNKNOWN.test;step-d2@three.test");
  options->SetSmtpServer("10.9.9.9");  // never used in the direct mode
  Calls calls;
  const size_t asked = Commands("dns-good").size();
  EXPECT_TRUE(SendReportByEmail(Input(*options, calls)));
  EXPECT_EQ(LastStepError().Code, eeEmailSMTPError);
  EXPECT_EQ(LastStepError().Message, "[SMTP] Cannot resolve the \"unknown.test\" MX record.");
  EXPECT_EQ(Commands("dns-good").size(), asked + 3);
  Expect("step-d1", "Please look.", true);
  Expect("step-d2", "Please look.", true);

  // ",," through a server: three sessions, the empty one refused, the result still true.
  auto commas = Options(mmViaServer, "VL_SMTP_PLAIN", "step-c1@x.test,,step-c2@x.test");
  const size_t rcpts = Commands("plain").size();
  EXPECT_TRUE(SendReportByEmail(Input(*commas, calls)));
  size_t helos = 0;
  const std::vector<std::string> after = Commands("plain");
  for (size_t i = rcpts; i < after.size(); ++i) helos += after[i].rfind("HELO", 0) == 0;
  EXPECT_EQ(helos, 3u);
  Expect("step-c1", "Please look.", true);
  Expect("step-c2", "Please look.", true);
}

TEST(SendStep, SmtpSecurityReachesTheSession) {
  struct Case {
    uint8_t security;
    std::string error;
    std::vector<std::string> commands;  // what the peer without STARTTLS received
  } cases[] = {
      {ssStartTls, "[SMTP] The server does not offer STARTTLS.", {"EHLO"}},
      {ssTls, "[SMTP] TLS handshake failed: ", {}},  // the greeting is no TLS record
      {7, "[SMTP] Unknown SmtpSecurity value 7: nothing is sent.", {}},
  };
  for (const Case& c : cases) {
    auto options = Options(mmViaServer, "VL_SMTP_NOSTARTTLS", "never@x.test");
    options->SetSmtpSecurity(c.security);
    Calls calls;
    const size_t before = Commands("nostarttls").size();
    EXPECT_FALSE(SendReportByEmail(Input(*options, calls)));
    EXPECT_EQ(LastStepError().Code, eeEmailSMTPError);
    EXPECT_EQ(LastStepError().Message.substr(0, c.error.size()), c.error)
        << LastStepError().Message;
    std::vector<std::string> sent = Commands("nostarttls");
    sent.erase(sent.begin(), sent.begin() + static_cast<long>(before));
    for (std::string& command : sent) command = command.substr(0, command.find(' '));
    EXPECT_EQ(sent, c.commands);
  }
}

TEST(SendStep, ProgressDialogCountsTheRecipients) {
  // The data-delay peer answers DATA after a second, so every state stays long enough to see.
  // The second recipient fails: its error box shows while the dialog does, and is dismissed.
  auto options =
      Options(mmViaServer, "VL_SMTP_DATADELAY", "step-p1@x.test, bad\x01@x.test, step-p2@x.test");
  options->SetShowSmtpProgress(true);
  core::Seams().ShowMessageBox = [](const std::string& text, const std::string& caption,
                                    uint32_t style) {
    return MessageBoxA(nullptr, text.c_str(), caption.c_str(), style);
  };
  std::vector<std::string> boxes;
  Calls calls;
  TSendInput input = Input(*options, calls);
  std::atomic<bool> done{false};
  std::vector<std::string> seen;  // "<status>|<bar>" each time either changes
  std::thread watcher([&] {
    std::string last;
    while (!done.load()) {
      HWND window = dialogs::SendProgressWindow();
      if (window && IsWindow(window)) {
        char text[256] = {};
        GetDlgItemTextA(window, 100, text, sizeof text);
        const LRESULT bar = SendDlgItemMessageA(window, 101, PBM_GETPOS, 0, 0);
        const std::string now = std::string(text) + "|" + std::to_string(bar);
        if (now != last) seen.push_back(last = now);
      }
      if (HWND box = FindWindowA("#32770", "Error.")) {
        char text[256] = {};
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        boxes.push_back(text);
        SendMessageA(box, WM_COMMAND, IDOK, 0);
      }
      Sleep(10);
    }
  });
  EXPECT_TRUE(SendReportByEmail(input)) << LastStepError().Message;
  done.store(true);
  watcher.join();
  core::Seams().ShowMessageBox = nullptr;
  EXPECT_EQ(boxes, std::vector<std::string>{"[SMTP] An address holds a control character."});
  EXPECT_FALSE(dialogs::IsSendProgressShowing());
  auto index = [&](const std::string& state) {
    for (size_t i = 0; i < seen.size(); ++i)
      if (seen[i] == state) return static_cast<int>(i);
    return -1;
  };
  const int first = index("Message 1/3: Sending message...|100");
  const int secondDone = index("Message 3/3: Sending message...|100");
  const std::string states = ::testing::PrintToString(seen);
  EXPECT_GE(first, 0) << states;
  ASSERT_GT(secondDone, first) << states;
  bool reset = false;  // the bar back at 0 for the next recipient
  for (int i = first + 1; i < secondDone; ++i)
    reset = reset ||
            seen[static_cast<size_t>(i)].substr(seen[static_cast<size_t>(i)].size() - 2) == "|0";
  EXPECT_TRUE(reset) << states;
  Expect("step-p1", "Please look.", true);
  Expect("step-p2", "Please look.", true);
}

TEST(SendStep, MailClientFallsBackToMailto) {
  RegisterMailtoCommand(("\"" + MailtoStandIn() + "\" %1").c_str());
  RegisterMailClient(testsupport::ExeFolder() + "vl_mapi_standin.dll");
  auto options = Options(mmMailClient, nullptr, "a@x.test;b@y.test;c@z.test");
  Calls calls;
  // MAPI sends: no mailto.
  EXPECT_TRUE(SendReportByEmail(Input(*options, calls)));
  const std::vector<std::string> mapi = TakeLog(MapiLog());
  const std::string file = "File -1 " + TempReport() + " app.vlf";
  EXPECT_NE(std::find(mapi.begin(), mapi.end(), file), mapi.end())
      << ::testing::PrintToString(mapi);
  EXPECT_TRUE(TakeLog(MailtoLog()).empty());
  EXPECT_FALSE(TempReportLeft());

  // The second of three cannot be resolved: the mailto link carries the text and the report.
  SetEnvironmentVariableA("VL_MAPI_FAIL", "resolve2");
  EXPECT_TRUE(SendReportByEmail(Input(*options, calls)));
  SetEnvironmentVariableA("VL_MAPI_FAIL", "");
  TakeLog(MapiLog());
  std::vector<std::string> mailto = TakeLog(MailtoLog());
  ASSERT_EQ(mailto.size(), 2u);
  std::string body;
  ASSERT_TRUE(PercentDecode(mailto[1].substr(mailto[1].find("&Body=") + 6), body));
  EXPECT_EQ(body, "Please look.\r\n\r\n\r\nfull report\r\n\r\n\r\nsteps");
  CloseMailtoStandIn();

  // Wine's own mapi32 (its mail bridge switched off) cannot send either.
  RegisterMailClient("");
  EXPECT_TRUE(SendReportByEmail(Input(*options, calls)));
  EXPECT_EQ(TakeLog(MailtoLog()).size(), 2u);
  EXPECT_TRUE(TakeLog(MapiLog()).empty());
  CloseMailtoStandIn();
}

TEST(SendStep, TheLogInTheTemporaryFolderIsNeverTouched) {
  auto options = Options(mmViaServer, "VL_SMTP_PLAIN", "step-templog@x.test");
  options->SetLogLocation(GetTempFolder());
  testsupport::WriteFileText(GetTempFolder() + "app.vlf", "the log");
  Calls calls;
  EXPECT_TRUE(SendReportByEmail(Input(*options, calls)));
  EXPECT_EQ(testsupport::ReadFileText(GetTempFolder() + "app.vlf"), "the log");
  DeleteFileA((GetTempFolder() + "app.vlf").c_str());
  Expect("step-templog", "Please look.", true);
}
