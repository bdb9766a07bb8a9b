// One report mail to one recipient over SMTP: greeting, HELO or EHLO with AUTH LOGIN, sender,
// recipient, DATA with the MIME message. No QUIT is sent; the connection is simply closed.
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

class TVantorClientSMTP : public TVantorClientSocket {
 public:
  using TVantorClientSocket::TVantorClientSocket;
  // The socket's Connect, then the greeting must be 220 (else raises with the transcript).
  void Connect() override;
  // Reads one reply; true when its leading number is one of Codes. A reply that does not start
  // with a number raises EConvertError.
  bool CheckReply(const std::vector<int>& codes);
  // False at once for an empty command. Otherwise sends it (CR LF added unless present), records
  // it in the transcript (as ShownAs when given, so that secrets and the message stay out of
  // error texts) and checks the reply; a command not sent whole or a reply not in Codes raises
  // EVantorSocketError with the whole transcript.
  bool SendCommand(const std::string& command, const std::vector<int>& codes,
                   const std::string& shownAs = std::string());
};

// What one session sends.
struct SmtpMail {
  std::string Sender;
  std::string Host;
  uint16_t Port = 25;
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
// anything is sent: it would start a second command.
bool SendSmtpMail(const SmtpMail& mail, const SmtpSessionHooks& hooks = SmtpSessionHooks());

// The file's contents as an attachment; false for an empty (trimmed) path or a missing file.
// A file that exists but cannot be read raises EFOpenError.
bool ReadAttachmentFile(const std::string& path, MailAttachment& file);
// ReadAttachmentFile for each path, in order; the files that exist. Raises as it does.
std::vector<MailAttachment> ReadMailAttachments(const std::vector<std::string>& paths);
// The file's base64 text; empty for an empty path or a missing file.
std::string EncodeFileBase64(const std::string& path);
// gethostname's answer (250-byte buffer), empty on failure.
std::string GetLocalHostName();
// The current local time with the bias in force (daylight saving applied).
std::string LocalMailDate();

}  // namespace vl::delivery
