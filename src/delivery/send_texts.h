// The texts and numbers of the e-mail step that need no system: the body's report part, the
// report file's bytes, the attachment names from their parts, the progress percentage and the
// report that follows the body of a mailto link.
#pragma once

#include <cstdint>
#include <string>

namespace vl::delivery {

// "\r\n\r\n\r\n" + the send text when the report goes into the body, else empty.
std::string ReportBodyText(bool reportInBody, const std::string& sendText);

// The report file's bytes as the framework's string list saves them: every line of the text
// (ended by CR LF, CR or LF) written with CR LF after it; an empty text gives an empty file.
std::string ReportFileBytes(const std::string& sendText);

// The attached report file: empty when the report goes into the body, else the temporary
// folder (ending in "\") + the log file's name part.
std::string ReportAttachmentName(bool reportInBody, const std::string& tempFolder,
                                 const std::string& logFile);

// The attached screenshot: empty unless the user kept the screenshot and the options add one;
// then ScreenshotFile, or the temporary folder + "Screenshot.png" when that is empty.
std::string ScreenshotAttachmentName(bool requested, bool addScreenshot,
                                     const std::string& tempFolder,
                                     const std::string& screenshotFile);

// Sent × 100 div total in 64 bits (sent × 100 overflows 32 bits past 21 MB), kept within 0..100;
// a total of 0 or less counts as done (100).
int ProgressPercent(int64_t sent, int64_t total);

// What follows the body in a mailto link: "\r\n\r\n\r\n" + the full report, and when the user
// described the steps, "\r\n\r\n\r\n" + those steps.
std::string MailtoReportTail(const std::string& fullReport, const std::string& reproduction);

}  // namespace vl::delivery
