// Delivery through the user's own mail program: Simple MAPI from the default mail client's
// library (the message goes out with its files, without a compose window), and the program
// registered for "mailto:" links (recipients, subject and text only).
#pragma once

#include <string>
#include <vector>

namespace vl::delivery {

// ExpandEnvironmentStringsA into 2048 bytes; the text unchanged when it does not fit or fails.
std::string ExpandPath(const std::string& text);

// Sends through Simple MAPI. The library is the default mail client's DLLPath (HKLM
// "SOFTWARE\Clients\Mail"), else "mapi32.dll"; it is freed on every path. Each address of
// Recipients is resolved first: one that the client cannot resolve fails the send without a
// step error. Attachment paths that are empty or name no file are left out. Other failures are
// step errors (eeEmailMAPIError) "Cannot open the MAPI dll.", "Cannot found the MAPI
// functions.", "Cannot LogOn into the MAPI service.", "Cannot send the MAPI message.". Names
// and addresses copied from resolved entries are cut to 256 characters. Never raises.
bool SendMapiMail(const std::string& recipients, const std::string& subject,
                  const std::string& body, const std::vector<std::string>& attachments);

// Starts the program registered under HKCR "mailto\shell\open\command" with a mailto link of
// the recipients, subject and Body (without its "&") followed by ReportTail. The texts are in
// the ANSI code page; the link carries them as percent-encoded UTF-8, so it holds no blank,
// quote or control character, and the report is cut so that the command line stays under
// 32,000 characters. True once the program has started (its main window, found within 2 s of
// its first idle moment, is made top-most and maximized); otherwise the step error
// eeEmailShellError with the system's text. Never raises.
bool SendMailto(const std::string& recipients, const std::string& subject, const std::string& body,
                const std::string& reportTail);

// The ANSI text (the system's code page) as UTF-8.
std::string AnsiToUtf8(const std::string& text);

// Fills the core's MAPI seam (the internal-error report's mail) with SendMapiMail.
void InstallDeliverySeams();

}  // namespace vl::delivery
