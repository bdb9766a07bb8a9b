// One report mail to one recipient over SMTP: greeting, HELO or EHLO with AUTH LOGIN, sender,
// recipient, DATA with the MIME message. No QUIT is sent; the connection is simply closed.
// With TLS (TSmtpSecurity) the session is protected from the start (implicit TLS, the greeting
// comes inside it) or from STARTTLS on, and everything after that goes inside TLS.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "delivery/client_socket.h"
#include "delivery/mail_date.h"
#include "delivery/mime_message.h"

namespace vl::delivery {

// How the session is protected: not at all (plain SMTP, usually port 25), by STARTTLS after
// the first EHLO (usually port 587), or by TLS from the first byte (usually port 465).
enum class TSmtpSecurity { None, StartTls, Tls };

class TVantorClientSMTP : public TVantorClientSocket {
 public:
  using TVantorClientSocket::TVantorClientSocket;
  // The socket's Connect, TLS with Host when ImplicitTls, then the greeting must be 220 (else
  // raises with the transcript).
  void Connect() override;
  // Reads one reply (kept in LastReply); true when its leading number is one of Codes. A reply
  // that does not start with a number raises EConvertError.
  bool CheckReply(const std::vector<int>& codes);
  // False at once for an empty command. Otherwise sends it (CR LF added unless present), records
  // it in the transcript (as ShownAs when given, so that secrets and the message stay out of
  // error texts) and checks the reply; a command not sent whole or a reply not in Codes raises
  // EVantorSocketError with the whole transcript.
  bool SendCommand(const std::string& command, const std::vector<int>& codes,
                   const std::string& shownAs = std::string());

  bool ImplicitTls = false;
  std::string LastReply;
};

// What one session sends.
struct SmtpMail {
  std::string Sender;
  std::string Host;
  uint16_t Port = 25;
  // With StartTls or Tls: the server's certificate must chain to a root of the system store
  // and name Host; the login and the mail go only inside TLS.
  TSmtpSecurity Security = TSmtpSecurity::None;
  std::string User;
  std::string Password;
  std::string Recipient;
  std::string Subject;
  std::string Body;
  std::vector<std::string> Attachments;  // file paths; empty or missing ones are left out
  // The attachments already read (ReadMailAttachments): when set, Attachments is not read, so
  // a send to many recipients reads its files once and every recipient gets the same bytes.
  std::shared_ptr<const std::vector<MailAttachment>> Files;
};

// How the session reports its way (all optional).
struct SmtpSessionHooks {
  // Status lines for the progress dialog.
  std::function<void(const std::string& text)> Status;
  // Progress while the message goes out (bytes sent, total).
  std::function<void(int64_t sent, int64_t total)> Progress;
  std::string ConnectingText = "Connecting with SMTP server...";
  std::string ConnectedText = "Connected with SMTP server.";
  std::string SendingText = "Sending message...";
};

// One session. Never raises: a failure is recorded as the step error (eeEmailSMTPError,
// "SMTP") and gives false. An address holding a control character (CR, LF, ...) fails before
// anything is sent: it would start a second command. With StartTls: EHLO, STARTTLS (a server
// whose EHLO reply does not offer it fails with "The server does not offer STARTTLS."), TLS,
// EHLO again; with Tls, EHLO inside TLS. A TLS failure (handshake, an untrusted certificate, one
// not issued to Host) ends the session before anything else is sent.
bool SendSmtpMail(const SmtpMail& mail, const SmtpSessionHooks& hooks = SmtpSessionHooks());

// The file's contents as an attachment; false for an empty (trimmed) path or a missing file.
// A file that exists but cannot be read raises EFOpenError.
bool ReadAttachmentFile(const std::string& path, MailAttachment& file);
// ReadAttachmentFile for each path, in order; the files that exist. Raises as it does.
std::vector<MailAttachment> ReadMailAttachments(const std::vector<std::string>& paths);
// gethostname's answer (250-byte buffer), empty on failure.
std::string GetLocalHostName();
// The current local time with the bias in force (daylight saving applied).
std::string LocalMailDate();

}  // namespace vl::delivery
