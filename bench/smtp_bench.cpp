// Prints what one SMTP delivery and one MX look-up cost against the loopback peers of
// tests/delivery/peers.py, and the same message sent by Python's smtplib to the same peer, run
// for run in turn with ours. Run it through tests/delivery/run-with-peers.sh and
// bench/smtp_bench_smtplib.py (the smtplib agent), e.g. (one line)
//   tests/delivery/run-with-peers.sh build/win64/bench-peers /usr/bin/python3
//   bench/smtp_bench_smtplib.py scripts/wine-run build/win64/bench/smtp_bench.exe
// Only loopback addresses are reachable from it (the same seams as the tests). Asserts nothing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "delivery/mx_lookup.h"
#include "delivery/send_step.h"
#include "delivery/smtp_client.h"
#include "delivery/socket_seams.h"
#include "figure.h"

using namespace vl;

using namespace delivery;

namespace {

uint16_t Port(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? static_cast<uint16_t>(std::atoi(value)) : 0;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Mean(const std::vector<double>& values) {
  double sum = 0;
  for (double v : values) sum += v;
  return values.empty() ? 0 : sum / static_cast<double>(values.size());
}

double MillisecondsEach(int runs, const std::function<void()>& body) {
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  for (int i = 0; i < runs; ++i) body();
  QueryPerformanceCounter(&end);
  return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
         static_cast<double>(frequency.QuadPart) / runs;
}

}  // namespace

int main() {
  if (Port("VL_SMTP_PLAIN") == 0) {
    std::printf("run through tests/delivery/run-with-peers.sh (no peers in the environment)\n");
    return 0;
  }
  TSeams& seams = Seams();
  seams.NameServers = [] { return std::vector<std::string>{"127.0.0.1"}; };
  seams.DnsPort = Port("VL_DNS_GOOD");
  seams.DnsTimeout = 2000;
  seams.SmtpTimeout = 5000;
  seams.ResolveHost = [](const std::string& host, uint32_t& address) {
    const unsigned long dotted = inet_addr(host.c_str());
    if (dotted == INADDR_NONE || !IsLoopbackAddress(static_cast<uint32_t>(dotted)))
      return WSAHOST_NOT_FOUND;
    address = static_cast<uint32_t>(dotted);
    return 0;
  };
  seams.ConnectCheck = [](uint32_t address) { return IsLoopbackAddress(address); };

  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string screenshot = std::string(temp) + "Screenshot.png";
  const std::string report = std::string(temp) + "Report.vlf";
  std::mt19937 random(3);
  std::string bytes(1 << 20, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  std::ofstream(screenshot, std::ios::binary) << bytes;
  std::string text;
  while (text.size() < 20000) text += "  2.2 Address      : 0040123A\r\n";
  std::ofstream(report, std::ios::binary) << text;

  SmtpMail mail;
  mail.Sender = "app@example.com";
  mail.Host = "127.0.0.1";
  mail.Port = Port("VL_SMTP_PLAIN");
  mail.Recipient = "bench@example.test";
  mail.Subject = "Bug report";
  mail.Body = text;
  mail.Attachments = {report, screenshot};
  const int runs = 10;
  bool ok = true;
  // Ours and smtplib in turn, the same message to the same peer: the peer saved ours as
  // bench.eml, and the agent sends those bytes.
  std::vector<double> ours, theirs;
  std::unique_ptr<TVantorClientSocket> agent;
  if (const uint16_t port = Port("VL_SMTPLIB_AGENT")) {
    agent = std::make_unique<TVantorClientSocket>("127.0.0.1", port, true, 30000);
    agent->Connect();
  }
  for (int i = 0; i < 2 * runs; ++i) {
    ours.push_back(MillisecondsEach(1, [&] { ok = SendSmtpMail(mail) && ok; }));
    if (!agent) continue;
    agent->SendText("SEND " + std::to_string(mail.Port) + " bench\r\n");
    const std::string answer = agent->ReadReply();
    if (answer.rfind("250 ", 0) != 0) std::printf("smtplib: %s", answer.c_str());
    theirs.push_back(std::atof(answer.c_str() + 4));
  }
  std::printf(
      "SMTP, 1 MiB screenshot + 20 KB report, no login, per recipient (median, mean of %d):\n"
      "  ours %.1f ms, %.1f ms\n",
      static_cast<int>(ours.size()), Median(ours), Mean(ours));
  if (agent) {
    std::printf("  smtplib %.1f ms, %.1f ms\n  ours / smtplib %.2f (medians), %.2f (means)\n",
                Median(theirs), Mean(theirs), Median(ours) / Median(theirs),
                Mean(ours) / Mean(theirs));
  } else {
    std::printf("  smtplib: not measured (run through bench/smtp_bench_smtplib.py)\n");
  }
  bench::Figure("SMTP, 1 MiB + 20 KB, per recipient (median)",
                bench::Format("%.1f ms", Median(ours)), "",
                agent ? bench::Format("ours/smtplib %.2f", Median(ours) / Median(theirs)) : "");
  // Of ours, the client's own work: reading the files and making the DATA text.
  std::printf("  of ours, files read and DATA text made: %.1f ms\n", MillisecondsEach(runs, [&] {
                MailMessage message;
                message.BodyText = mail.Body;
                for (const std::string& path : mail.Attachments) {
                  message.Attachments.emplace_back();
                  ReadAttachmentFile(path, message.Attachments.back());
                }
                ok = !BuildDataText(message).empty() && ok;
              }));
  SmtpMail login = mail;
  login.Port = Port("VL_SMTP_AUTH");
  login.User = "reporter";
  login.Password = std::string(70, 'p');
  const double withLogin = MillisecondsEach(runs, [&] { ok = SendSmtpMail(login) && ok; });
  std::printf("SMTP, 1 MiB screenshot + 20 KB report, login:    %.1f ms per recipient\n",
              withLogin);
  bench::Figure("SMTP, 1 MiB + 20 KB, login, per recipient", bench::Format("%.1f ms", withLogin),
                "", "");
  SmtpMail textOnly = mail;
  textOnly.Attachments.clear();
  const double one = MillisecondsEach(runs, [&] { ok = SendSmtpMail(textOnly) && ok; });
  std::printf("SMTP, text only:                                 %.1f ms per recipient\n", one);
  const double two = MillisecondsEach(runs, [&] {
    ok = SendSmtpMail(textOnly) && ok;
    ok = SendSmtpMail(textOnly) && ok;
  });
  std::printf("SMTP, two recipients / one:                      %.2f\n", two / one);
  bench::Figure("SMTP, text only, per recipient", bench::Format("%.1f ms", one), "",
                bench::Format("two recipients/one %.2f", two / one));
  // The send step's loop: one recipient and two in one recipient text (no progress dialog).
  const double loopOne =
      MillisecondsEach(runs, [&] { ok = SendSmtpToAll(false, textOnly, "a@example.test") && ok; });
  const double loopTwo = MillisecondsEach(
      runs, [&] { ok = SendSmtpToAll(false, textOnly, "a@example.test; b@example.test") && ok; });
  std::printf("SendSmtpToAll, text only: %.1f ms for one, two / one: %.2f\n", loopOne,
              loopTwo / loopOne);
  std::string host;
  const double mx = MillisecondsEach(runs * 5, [&] { host = ResolveMxHost("a@two.test"); });
  std::printf("MX look-up:                                      %.2f ms\n", mx);
  bench::Figure("MX look-up (loopback name server)", bench::Format("%.2f ms", mx), "", "");
  std::printf("all delivered: %s; exchanger %s\n", ok ? "yes" : "NO", host.c_str());
  if (!ok) bench::Figure("SMTP, every mail delivered", "NO", "", "");
  DeleteFileA(screenshot.c_str());
  DeleteFileA(report.c_str());
  return 0;
}
