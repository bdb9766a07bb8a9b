// Prints how long building the DATA text of a report mail takes: a 1 MiB screenshot and a
// 20 KB report attached, plain ASCII text and 8-bit text (CPU time). Asserts nothing.
#include <cstdio>
#include <ctime>
#include <random>

#include "delivery/mime_message.h"
#include "figure.h"

using namespace vl;

namespace {

// CPU time of one build in ms (the machine may be shared: wall time says little).
double MillisecondsPerBuild(const delivery::MailMessage& message, int runs, size_t& size) {
  const std::clock_t start = std::clock();
  for (int i = 0; i < runs; ++i) size = delivery::BuildDataText(message).size();
  return 1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC / runs;
}

}  // namespace

int main() {
  std::mt19937 random(1);
  delivery::MailMessage m;
  m.Date = "Fri, 5 Mar 2004 09:07:03 +0100";
  m.Sender = "app@example.com";
  m.Recipient = "bugs@example.org";
  m.Subject = "Bug report";
  std::string report;
  while (report.size() < 20000) report += "  2.2 Address      : 0040123A\r\n.\r\n";
  m.BodyText = "Please look at this.\r\n\r\n\r\n" + report;
  std::string screenshot(1 << 20, '\0');
  for (char& c : screenshot) c = static_cast<char>(random());
  m.Attachments = {{"Report.vlf", report}, {"Screenshot.png", screenshot}};
  size_t size = 0;
  const int runs = 50;
  double ms = MillisecondsPerBuild(m, runs, size);
  std::printf("DATA text, 1 MiB screenshot + 20 KB report, ASCII text: %.2f ms (%zu bytes)\n", ms,
              size);
  bench::Figure("DATA text, 1 MiB + 20 KB, ASCII (CPU)", bench::Format("%.2f ms", ms), "", "");
  m.BodyText += "caf\xE9";
  m.Subject = "Caf\xE9";
  ms = MillisecondsPerBuild(m, runs, size);
  std::printf("DATA text, 1 MiB screenshot + 20 KB report, 8-bit text:  %.2f ms (%zu bytes)\n", ms,
              size);
  bench::Figure("DATA text, 1 MiB + 20 KB, 8-bit (CPU)", bench::Format("%.2f ms", ms), "", "");
  m.Attachments.clear();
  ms = MillisecondsPerBuild(m, runs * 10, size);
  std::printf("DATA text, text only:                                   %.3f ms (%zu bytes)\n", ms,
              size);
  bench::Figure("DATA text, text only (CPU)", bench::Format("%.3f ms", ms), "", "");
  return 0;
}
