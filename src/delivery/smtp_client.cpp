#include "delivery/smtp_client.h"

#include <algorithm>

#include "core/internal_errors.h"
#include "core/trace.h"
#include "delivery/address_list.h"
#include "delivery/base64.h"
#include "delivery/smtp_reply.h"
#include "delivery/socket_seams.h"
#include "runtime/system.h"

namespace vl::delivery {
namespace {

bool HasControlCharacter(const std::string& text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

std::string FileNamePart(const std::string& path) {
  const size_t slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void TVantorClientSMTP::Connect() {
  TVantorClientSocket::Connect();
  if (ImplicitTls) StartTls(Host);
  if (!CheckReply({220})) RaiseError(Transcript);
}

bool TVantorClientSMTP::CheckReply(const std::vector<int>& codes) {
  LastReply = ReadReply();
  const int code = SmtpReplyCode(LastReply);
  return std::find(codes.begin(), codes.end(), code) != codes.end();
}

bool TVantorClientSMTP::SendCommand(const std::string& command, const std::vector<int>& codes,
                                    const std::string& shownAs) {
  if (command.empty()) return false;
  Trace("TVantorClientSMTP.SendCommand", {shownAs.empty() ? command : shownAs}, 2);
  // A command that ends its line already (the DATA text) is sent as it is, not copied.
  const bool ended = command.size() >= 2 && command.compare(command.size() - 2, 2, "\r\n") == 0;
  const std::string line = ended ? std::string() : command + "\r\n";
  const std::string& text = ended ? command : line;
  const bool sent = SendText(text) == static_cast<int>(text.size());
  if (sent) {
    Transcript += shownAs.empty() ? text : shownAs + "\r\n";
    if (CheckReply(codes)) {
      Trace("TVantorClientSMTP.SendCommand=", {true}, -2);
      return true;
    }
  }
  Trace("TVantorClientSMTP.SendCommand=", {false}, -2);
  RaiseError(Transcript);
}

bool ReadAttachmentFile(const std::string& path, MailAttachment& file) {
  if (TrimText(path).empty()) return false;
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw EFOpenError(path, rtl::SysErrorMessage(GetLastError()));
  std::string bytes;
  LARGE_INTEGER size{};
  // The whole file in one allocation (a larger file, grown while read, is still read whole).
  if (GetFileSizeEx(h, &size) && size.QuadPart < 0x40000000)
    bytes.reserve(static_cast<size_t>(size.QuadPart));
  char buffer[65536];
  DWORD n = 0;
  BOOL ok;
  while ((ok = ReadFile(h, buffer, sizeof buffer, &n, nullptr)) && n > 0) bytes.append(buffer, n);
  const DWORD error = GetLastError();
  CloseHandle(h);
  if (!ok) throw EFOpenError(path, rtl::SysErrorMessage(error));
  file.FileName = FileNamePart(path);
  file.Bytes = std::move(bytes);
  return true;
}

std::vector<MailAttachment> ReadMailAttachments(const std::vector<std::string>& paths) {
  std::vector<MailAttachment> files;
  for (const std::string& path : paths) {
    MailAttachment file;
    if (ReadAttachmentFile(path, file)) files.push_back(std::move(file));
  }
  return files;
}

std::string GetLocalHostName() {
  char name[250] = {};
  if (gethostname(name, sizeof name - 1) != 0) return std::string();
  return std::string(name, strnlen(name, sizeof name));
}

std::string LocalMailDate() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  TIME_ZONE_INFORMATION zone{};
  const DWORD kind = GetTimeZoneInformation(&zone);
  long bias = zone.Bias;
  if (kind == TIME_ZONE_ID_DAYLIGHT) bias += zone.DaylightBias;
  if (kind == TIME_ZONE_ID_STANDARD) bias += zone.StandardBias;
  MailTime t;
  t.Year = now.wYear;
  t.Month = now.wMonth;
  t.Day = now.wDay;
  t.DayOfWeek = now.wDayOfWeek;
  t.Hour = now.wHour;
  t.Minute = now.wMinute;
  t.Second = now.wSecond;
  return FormatMailDate(t, static_cast<int>(bias));
}

bool SendSmtpMail(const SmtpMail& mail, const SmtpSessionHooks& hooks) {
  Trace("SendSmtpMail", {mail.Sender, mail.Host, static_cast<uint32_t>(mail.Port), mail.Recipient},
        2);
  bool result = false;
  auto status = [&](const std::string& text) {
    if (hooks.Status) hooks.Status(text);
  };
  try {
    status(hooks.ConnectingText);
    if (HasControlCharacter(mail.Sender) || HasControlCharacter(mail.Recipient))
      throw EVantorSocketError("An address holds a control character.");
    TVantorClientSMTP smtp(mail.Host, mail.Port, true, Seams().SmtpTimeout);
    smtp.ImplicitTls = mail.Security == TSmtpSecurity::Tls;
    smtp.Connect();

    MailMessage message;
    message.Sender = mail.Sender;
    message.Recipient = mail.Recipient;
    message.Subject = mail.Subject;
    message.BodyText = mail.Body;
    message.CodePage = GetACP();
    message.Attachments = mail.Files ? *mail.Files : ReadMailAttachments(mail.Attachments);

    status(hooks.ConnectedText);
    // A machine without a name would send "HELO " and be refused: name it "localhost".
    std::string host = GetLocalHostName();
    if (TrimText(host).empty()) host = "localhost";
    bool ok = true;
    if (mail.Security == TSmtpSecurity::StartTls) {
      ok = smtp.SendCommand("EHLO " + host, {250});
      if (!EhloOffers(smtp.LastReply, "STARTTLS"))
        smtp.RaiseError("The server does not offer STARTTLS.");
      ok = ok && smtp.SendCommand("STARTTLS", {220});
      smtp.StartTls(mail.Host);
    }
    const bool login = !mail.User.empty() || !mail.Password.empty();
    // The login and the mail never go in clear when TLS was asked for.
    if (mail.Security != TSmtpSecurity::None && !smtp.Secure())
      smtp.RaiseError("TLS was not started.");
    if (login || mail.Security != TSmtpSecurity::None) {
      ok = ok && smtp.SendCommand("EHLO " + host, {250}) && smtp.SendCommand("RSET", {250});
      if (login)
        ok = ok && smtp.SendCommand("AUTH LOGIN", {334}) &&
             smtp.SendCommand(EncodeBase64Line(mail.User), {334}, TranscriptUserName) &&
             smtp.SendCommand(EncodeBase64Line(mail.Password), {235}, TranscriptPassword);
      ok = ok && smtp.SendCommand("MAIL FROM:<" + mail.Sender + ">", {250});
    } else {
      ok = smtp.SendCommand("HELO " + host, {250}) && smtp.SendCommand("RSET", {250}) &&
           smtp.SendCommand("MAIL FROM:<" + mail.Sender + ">", {250});
    }

    status(hooks.SendingText);
    message.Date = LocalMailDate();
    std::string data = BuildDataText(message);
    data += "\r\n";  // the end mark's line end: the data goes out without another copy
    message.Attachments.clear();

    ok = ok && smtp.SendCommand("RCPT TO:<" + mail.Recipient + ">", {250, 251}) &&
         smtp.SendCommand("DATA", {354});
    if (ok && hooks.Progress) {
      smtp.OnProgress = [&hooks](TVantorClientSocket*, int64_t sent, int64_t total) {
        hooks.Progress(sent, total);
      };
    }
    ok = ok && smtp.SendCommand(data, {250}, TranscriptMessage(data.size()));
    smtp.OnProgress = nullptr;
    result = ok;
  } catch (...) {
    ReportStepError(eeEmailSMTPError, "SMTP");
    result = false;
  }
  Trace("SendSmtpMail=", {result}, -2);
  return result;
}

}  // namespace vl::delivery
