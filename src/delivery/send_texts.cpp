#include "delivery/send_texts.h"

#include <cstdint>

#include "runtime/file_names.h"

namespace vl::delivery {

namespace {
const char kThreeLineBreaks[] = "\r\n\r\n\r\n";
}

std::string ReportBodyText(bool reportInBody, const std::string& sendText) {
  return reportInBody ? kThreeLineBreaks + sendText : std::string();
}

std::string ReportFileBytes(const std::string& sendText) {
  std::string bytes;
  bytes.reserve(sendText.size() + sendText.size() / 32 + 2);
  size_t i = 0;
  while (i < sendText.size()) {
    const size_t end = sendText.find_first_of("\r\n", i);
    if (end == std::string::npos) {
      bytes.append(sendText, i, std::string::npos);
      bytes += "\r\n";
      break;
    }
    bytes.append(sendText, i, end - i);
    bytes += "\r\n";
    i = end +
        ((sendText[end] == '\r' && end + 1 < sendText.size() && sendText[end + 1] == '\n') ? 2 : 1);
  }
  return bytes;
}

std::string ReportAttachmentName(bool reportInBody, const std::string& tempFolder,
                                 const std::string& logFile) {
  if (reportInBody) return std::string();
  return tempFolder + rtl::ExtractFileName(logFile);
}

std::string ScreenshotAttachmentName(bool requested, bool addScreenshot,
                                     const std::string& tempFolder,
                                     const std::string& screenshotFile) {
  if (!requested || !addScreenshot) return std::string();
  return screenshotFile.empty() ? tempFolder + "Screenshot.png" : screenshotFile;
}

int ProgressPercent(int64_t sent, int64_t total) {
  if (total <= 0) return 100;
  if (sent <= 0) return 0;
  if (sent >= total) return 100;
  if (sent <= INT64_MAX / 100) return static_cast<int>(sent * 100 / total);
  // Beyond that sent × 100 would overflow: the largest P with P × total / 100 <= sent, where
  // P × total / 100 is taken apart so that no product overflows.
  int percent = 0;
  while (percent < 99) {
    const int64_t next = percent + 1;
    const int64_t needed = next * (total / 100) + (next * (total % 100) + 99) / 100;
    if (sent < needed) break;
    ++percent;
  }
  return percent;
}

std::string MailtoReportTail(const std::string& fullReport, const std::string& reproduction) {
  std::string tail = kThreeLineBreaks + fullReport;
  if (!reproduction.empty()) tail += kThreeLineBreaks + reproduction;
  return tail;
}

}  // namespace vl::delivery
