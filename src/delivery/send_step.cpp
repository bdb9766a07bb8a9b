#include "delivery/send_step.h"

#include <windows.h>

#include <exception>
#include <map>
#include <memory>
#include <utility>

#include "core/file_names.h"
#include "core/internal_errors.h"
#include "core/trace.h"
#include "delivery/address_list.h"
#include "delivery/dns_packet.h"
#include "delivery/mail_client.h"
#include "delivery/mx_lookup.h"
#include "delivery/send_texts.h"
#include "dialogs/send_progress.h"
#include "runtime/system.h"

namespace vl::delivery {
namespace {

std::string OwnFolder() {
  return GetTempFolder() + "VantorLog." + std::to_string(GetCurrentProcessId()) + "\\";
}

// The report file of one send: written at the start, deleted (with its own folder, when it has
// one) when the send ends, whichever way.
class TReportFile {
 public:
  explicit TReportFile(const TSendInput& input) : FName(GetReportAttachmentName(input)) {
    if (FName.empty()) return;
    if (FName.compare(0, OwnFolder().size(), OwnFolder()) == 0) {
      FFolder = OwnFolder();
      CreateDirectoryA(FFolder.c_str(), nullptr);
    }
    FWritten = SaveReportAttachment(FName, input.SendText);
  }
  ~TReportFile() {
    // A delete of an empty name simply fails.
    DeleteFileA(FName.c_str());
    if (!FFolder.empty()) RemoveDirectoryA(FFolder.c_str());
  }
  TReportFile(const TReportFile&) = delete;
  TReportFile& operator=(const TReportFile&) = delete;

  // The file to attach; empty when there is none.
  std::string Attached() const { return FWritten ? FName : std::string(); }
  // True when the report should have been attached but could not be written.
  bool Lost() const { return !FName.empty() && !FWritten; }

 private:
  std::string FName;
  std::string FFolder;
  bool FWritten = false;
};

// The minidump to attach, copied into the process's own folder under the name the mail gives
// it ("<module>.dmp"); the copy goes when the send ends.
class TMinidumpCopy {
 public:
  explicit TMinidumpCopy(const TSendInput& input) {
    if (input.MinidumpFile.empty() || !input.Options->AttachMinidump()) return;
    CreateDirectoryA(OwnFolder().c_str(), nullptr);
    const std::string name =
        core::ChangeFileExt(core::ExtractFileName(input.Options->ModuleName()), ".dmp");
    FName = OwnFolder() + (name == ".dmp" ? "VantorLog.dmp" : name);
    if (!CopyFileA(input.MinidumpFile.c_str(), FName.c_str(), FALSE)) {
      Trace("SendReportByEmail: the minidump cannot be copied", {FName});
      FName.clear();
    }
  }
  ~TMinidumpCopy() {
    if (FName.empty()) return;
    DeleteFileA(FName.c_str());
    // The report file's folder goes with the report file; alone, the copy takes it.
    RemoveDirectoryA(OwnFolder().c_str());
  }
  TMinidumpCopy(const TMinidumpCopy&) = delete;
  TMinidumpCopy& operator=(const TMinidumpCopy&) = delete;
  const std::string& Attached() const { return FName; }

 private:
  std::string FName;
};

// One handler call, on the faulting thread when a runner is given. A raising handler is traced
// and leaves the flag as it had set it.
void CallHandler(const TSendInput& input, const std::function<void(int, bool&)>& handler,
                 int action, bool& flag) {
  if (!handler) return;
  const std::function<void()> call = [&handler, action, &flag] {
    try {
      handler(action, flag);
    } catch (...) {
      Trace("SendReportByEmail: a handler raised", {action});
    }
  };
  try {
    if (input.CallOnExceptionThread) {
      input.CallOnExceptionThread(call);
    } else {
      call();
    }
  } catch (...) {
    Trace("SendReportByEmail: the handler call failed", {action});
  }
}

// The MX look-ups of one send, by domain (lower-case): the exchanger, or the error to raise
// again. Recipients at one domain share one look-up, so a domain whose name servers do not
// answer costs their time-outs once, not once per recipient.
using TLookUps = std::map<std::string, std::pair<std::string, std::exception_ptr>>;

std::string ExchangerOf(const std::string& recipient, TLookUps& lookUps) {
  std::string domain = MailDomain(recipient);
  for (char& c : domain) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  const auto known = lookUps.find(domain);
  if (known != lookUps.end()) {
    if (known->second.second) std::rethrow_exception(known->second.second);
    return known->second.first;
  }
  try {
    return lookUps[domain].first = ResolveMxHost(recipient);
  } catch (...) {
    lookUps[domain].second = std::current_exception();
    throw;
  }
}

bool SendOnce(const TSendInput& input, const TReportFile& reportFile,
              const TMinidumpCopy& minidump) {
  const TVantorModuleOptions& options = *input.Options;
  const std::string recipients = options.MailRecipients();
  const std::string subject = options.MailSubject();
  const std::string bodyText = options.MailBodyText();
  std::string reportBody = GetReportBodyText(input);
  if (reportFile.Lost()) reportBody = ReportBodyText(true, input.SendText);
  const std::vector<std::string> attachments = {
      reportFile.Attached(), GetScreenshotAttachmentName(input), minidump.Attached()};
  const TMailMode mode = options.MailMode();
  if (mode == mmViaServer || mode == mmDirect) {
    const uint8_t security = options.SmtpSecurity();
    if (security != ssNone && security != ssStartTls && security != ssTls) {
      // A value this build does not know (a newer tool wrote it): never fall back to clear.
      SetStepError(eeEmailSMTPError,
                   Format("[SMTP] Unknown SmtpSecurity value %u: nothing is sent.", security));
      return false;
    }
    dialogs::StartSendProgress(options, input.Host);
    SmtpMail mail;
    mail.Security = security == ssTls        ? TSmtpSecurity::Tls
                    : security == ssStartTls ? TSmtpSecurity::StartTls
                                             : TSmtpSecurity::None;
    mail.Sender = options.SmtpSender();
    mail.Host = options.SmtpServer();
    mail.Port = options.SmtpServerPort();
    mail.User = options.SmtpUser();
    mail.Password = options.SmtpLoginPassword();
    mail.Subject = subject;
    mail.Body = bodyText + reportBody;
    mail.Attachments = attachments;
    return SendSmtpToAll(mode == mmDirect, mail, recipients, SmtpStatusTextsOf(options));
  }
  if (SendMapiMail(recipients, subject, bodyText + reportBody, attachments)) return true;
  return SendMailto(recipients, subject, bodyText,
                    MailtoReportTail(input.FullReport, input.ReproductionText));
}

}  // namespace

std::string GetTempFolder() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathA(MAX_PATH, buffer);
  std::string folder = (n > 0 && n < MAX_PATH) ? std::string(buffer, n) : std::string();
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  return folder;
}

std::string GetReportAttachmentName(const TSendInput& input) {
  if (!input.Options) return std::string();
  return ReportAttachmentName(input.Options->ReportInBody(), OwnFolder(),
                              input.Options->OutputLogFile());
}

std::string GetScreenshotAttachmentName(const TSendInput& input) {
  if (!input.Options) return std::string();
  return ScreenshotAttachmentName(input.ScreenshotRequested, input.Options->AddScreenshot(),
                                  GetTempFolder(), input.ScreenshotFile);
}

std::string GetReportBodyText(const TSendInput& input) {
  return input.Options ? ReportBodyText(input.Options->ReportInBody(), input.SendText)
                       : std::string();
}

bool SaveReportAttachment(const std::string& fileName, const std::string& sendText) {
  if (fileName.empty()) return true;
  const std::string bytes = ReportFileBytes(sendText);
  HANDLE file = CreateFileA(fileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Trace("SaveReportAttachment: cannot create", {fileName, static_cast<uint32_t>(GetLastError())});
    return false;
  }
  size_t done = 0;
  bool ok = true;
  while (ok && done < bytes.size()) {
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
    DWORD written = 0;
    ok = WriteFile(file, bytes.data() + done, piece, &written, nullptr) && written == piece;
    done += written;
  }
  ok = CloseHandle(file) && ok;
  if (!ok) {
    Trace("SaveReportAttachment: cannot write", {fileName});
    DeleteFileA(fileName.c_str());
  }
  return ok;
}

SmtpStatusTexts SmtpStatusTextsOf(const TVantorModuleOptions& options) {
  SmtpStatusTexts texts;
  texts.Resolving = options.TextTable(core::txSmtpResolvingMessage);
  texts.Connecting = options.TextTable(core::txSmtpConnectingMessage);
  texts.Connected = options.TextTable(core::txSmtpConnectedMessage);
  texts.Sending = options.TextTable(core::txSmtpSendingMessage);
  return texts;
}

void SocketProgress(TVantorClientSocket*, int64_t sent, int64_t total) {
  dialogs::SetSendProgressPosition(ProgressPercent(sent, total));
}

bool SendSmtpToAll(bool direct, const SmtpMail& mail, const std::string& recipients,
                   const SmtpStatusTexts& texts) {
  Trace("SendSmtpToAll", {direct, mail.Host, recipients}, 2);
  bool result = false;
  try {
    const std::vector<std::string> list = SplitAddressList(recipients);
    const int count = static_cast<int>(list.size());
    // The files once for all recipients (a file that cannot be read fails them all alike).
    SmtpMail shared = mail;
    if (!shared.Files && count > 0)
      shared.Files = std::make_shared<const std::vector<MailAttachment>>(
          ReadMailAttachments(mail.Attachments));
    TLookUps lookUps;
    SmtpSessionHooks hooks;
    hooks.Status = [](const std::string& text) { dialogs::SetSendProgressText(text); };
    hooks.ConnectingText = texts.Connecting;
    hooks.ConnectedText = texts.Connected;
    hooks.SendingText = texts.Sending;
    for (int i = 0; i < count; ++i) {
      dialogs::SetSendProgressPosition(0);
      dialogs::SetSendProgressRecipient(i + 1, count);
      SmtpMail one = shared;
      one.Recipient = list[static_cast<size_t>(i)];
      // The data's progress only while the dialog is there to show it.
      hooks.Progress = nullptr;
      if (dialogs::IsSendProgressShowing())
        hooks.Progress = [](int64_t sent, int64_t total) { SocketProgress(nullptr, sent, total); };
      try {
        if (direct) {
          dialogs::SetSendProgressText(texts.Resolving);
          one.Host = ExchangerOf(one.Recipient, lookUps);
        }
      } catch (...) {
        // This recipient cannot be served; the others still are.
        ReportStepError(eeEmailSMTPError, "SMTP");
        continue;
      }
      result = SendSmtpMail(one, hooks) || result;
    }
  } catch (...) {
    ReportStepError(eeEmailSMTPError, "SMTP");
  }
  try {
    dialogs::CloseSendProgress();
  } catch (...) {
  }
  Trace("SendSmtpToAll=", {result}, -2);
  return result;
}

bool SendReportByEmail(const TSendInput& input) {
  Trace("SendReportByEmail", {}, 2);
  if (!input.Options) {
    Trace("SendReportByEmail=", {false}, -2);
    return false;
  }
  const TMailMode mode = input.Options->MailMode();
  if (mode != mmMailClient && mode != mmViaServer && mode != mmDirect) {
    Trace("SendReportByEmail=", {false}, -2);
    return false;
  }
  bool stepResult = true;
  ClearStepError();
  try {
    const TReportFile reportFile(input);
    const TMinidumpCopy minidump(input);
    CallHandler(input, input.OnAction, ActionBeforeSending, stepResult);
    if (stepResult) {
      bool retry = false;
      do {
        stepResult = SendOnce(input, reportFile, minidump);
        retry = false;
        if (!stepResult) CallHandler(input, input.OnError, ActionAfterSending, retry);
      } while (retry);
      CallHandler(input, input.OnAction, ActionAfterSending, stepResult);
    }
  } catch (...) {
    ReportStepError(input.Options->MailMode() == mmMailClient ? eeEmailMAPIError : eeEmailSMTPError,
                    "Email");
    stepResult = false;
  }
  Trace("SendReportByEmail=", {stepResult}, -2);
  return stepResult;
}

}  // namespace vl::delivery
