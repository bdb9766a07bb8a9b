// The e-mail step of the crash reporter: writes the report file to attach, sends the report the
// way the options choose (SMTP through a server or straight to each recipient's exchanger,
// with the progress dialog; or the user's mail program through Simple MAPI, then a mailto
// link), lets the program's handlers cancel, observe or retry, and deletes the report file.
//
// The notification pipeline calls SendReportByEmail with a TSendInput that it fills from its
// own state; nothing here reaches into the pipeline.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/module_options.h"
#include "delivery/smtp_client.h"
#include "dialogs/dialog_input.h"

namespace vl::delivery {

// What the e-mail step is given. Contract:
// - Options: the working options (required; null: nothing is done, false). Read at the moment
//   of sending: MailMode, MailRecipients, MailSubject, MailBodyText, ReportInBody,
//   AddScreenshot, ShowSmtpProgress, the Smtp* account fields and SmtpSecurity (a value it does
//   not know fails the SMTP modes before any connection), OutputLogFile (whose name the
//   attached report file takes) and the "SMTP Dialog" texts. The object must stay valid and
//   unchanged for the whole call.
// - SendText: the report to mail (the full report, possibly with the reproduction block, or the
//   whole log). It becomes the attached report file, or the end of the body with ReportInBody.
// - FullReport and ReproductionText: what a mailto link carries after the body (the link cannot
//   attach files): the full report as extended by the log step, then the user's steps when not
//   empty.
// - ScreenshotRequested: the pipeline's flag (starts as AddScreenshot; the exception dialog may
//   clear it). The screenshot is attached only when it and AddScreenshot are both set, from
//   ScreenshotFile (empty: the temporary folder + "Screenshot.png", where the capture writes
//   it). The step never deletes the screenshot.
// - MinidumpFile: the report's minidump, attached (application/octet-stream) as
//   "<module>.dmp" (the options' ModuleName without folder and extension) when AttachMinidump
//   is on; empty: none. The step never deletes it.
// - Host: the kind of process; only an interactive GUI program gets the progress dialog.
// - OnAction(action, stepResult): the program's action handlers; empty = none attached. Called
//   with action 4 before sending (clearing stepResult cancels: nothing is sent and action 5 is
//   not given) and with action 5 after the last round (stepResult = the outcome; the handler
//   may change it, and the step returns what it leaves).
// - OnError(action, retry): the program's error handlers; empty = none attached. Called with
//   action 5 after each failed round with retry false; setting retry runs the whole choice
//   again (for SMTP with a fresh progress dialog).
// - CallOnExceptionThread(call): runs one handler call on the faulting thread and returns when
//   it has run; empty = the handlers are called directly on the step's thread.
// A handler that raises is traced and counts as having changed nothing after its raise.
struct TSendInput {
  const TVantorModuleOptions* Options = nullptr;
  std::string SendText;
  std::string FullReport;
  std::string ReproductionText;
  bool ScreenshotRequested = false;
  std::string ScreenshotFile;
  std::string MinidumpFile;
  dialogs::THostKind Host = dialogs::THostKind::Gui;
  std::function<void(int action, bool& stepResult)> OnAction;
  std::function<void(int action, bool& retry)> OnError;
  std::function<void(const std::function<void()>&)> CallOnExceptionThread;
};

// Action codes of the handlers this step calls.
constexpr int ActionBeforeSending = 4;
constexpr int ActionAfterSending = 5;

// The e-mail step; returns the step result (the pipeline's StepResult). The step error is
// cleared first; every failure is recorded as a step error (eeEmailSMTPError,
// eeEmailMAPIError, eeEmailShellError) and nothing is raised. MailMode mmViaServer and mmDirect
// send by SMTP only; mmMailClient tries MAPI and, when that fails, a mailto link; mmNone (or a
// value the options do not know) sends nothing and returns false without calling a handler.
// The temporary report file is deleted on every path. When it cannot be written, the report
// goes into the body instead, so the mail still carries it.
bool SendReportByEmail(const TSendInput& input);

// The "SMTP Dialog" status texts of one send.
struct SmtpStatusTexts {
  std::string Resolving = "Resolving MX record...";
  std::string Connecting = "Connecting with SMTP server...";
  std::string Connected = "Connected with SMTP server.";
  std::string Sending = "Sending message...";
};
SmtpStatusTexts SmtpStatusTextsOf(const TVantorModuleOptions& options);

// One SMTP session per entry of Recipients (SplitAddressList), each with Mail's fields and the
// entry as recipient; with Direct the host of each is the entry's mail exchanger (Mail.Host is
// not used). The progress dialog, when showing, counts the entries ("Message 1/2: ..."), gets
// the status texts and the data's progress, its bar set back to 0 per entry, and is closed at
// the end. With Direct, recipients at one domain (in any case) share one MX look-up and its
// outcome. A failed session or look-up is recorded (eeEmailSMTPError; a look-up as "[SMTP] "
// + its text) and the loop goes on; true when any recipient was served. The attachments are
// read once, before the first session (unless Mail.Files holds them); a file that cannot be read
// is recorded and fails every recipient. Never raises.
bool SendSmtpToAll(bool direct, const SmtpMail& mail, const std::string& recipients,
                   const SmtpStatusTexts& texts = SmtpStatusTexts());

// The OnProgress handler of the data's sending: the progress bar at sent × 100 div total.
void SocketProgress(TVantorClientSocket* sender, int64_t sent, int64_t total);

// GetTempPathA (260 characters), ending in "\".
std::string GetTempFolder();
// The report file to attach: empty with ReportInBody, else the log file's name in this process's
// own folder ("VantorLog.<process id>" in the temporary folder), so no two instances share the
// file and the step never overwrites or deletes a log kept in the temporary folder.
std::string GetReportAttachmentName(const TSendInput& input);
// The screenshot to attach, or empty (see TSendInput::ScreenshotRequested).
std::string GetScreenshotAttachmentName(const TSendInput& input);
// The body's report part: "\r\n\r\n\r\n" + SendText with ReportInBody, else empty.
std::string GetReportBodyText(const TSendInput& input);
// Writes SendText to FileName, one line per text line ended by CR LF. False (and no file left)
// when it cannot be written; an empty name writes nothing and gives true.
bool SaveReportAttachment(const std::string& fileName, const std::string& sendText);

}  // namespace vl::delivery
