// Prints what one SMTP delivery and one MX look-up cost against the loopback peers of
// tests/delivery/peers.py. Run it through tests/delivery/run-with-peers.sh, e.g.
//   tests/delivery/run-with-peers.sh build/win64/bench-peers scripts/wine-run
//   build/win64/bench/smtp_bench.exe   (one line)
// Only loopback addresses are reachable from it (the same seams as the tests). Asserts nothing.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <string>

#include "delivery/mx_lookup.h"
#include "delivery/send_step.h"
#include "delivery/smtp_client.h"
#include "delivery/socket_seams.h"

using namespace vl;

using namespace delivery;

namespace {

uint16_t Port(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? static_cast<uint16_t>(std::atoi(value)) : 0;
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
  SocketSeams& seams = Seams();
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
  std::printf("SMTP, 1 MiB screenshot + 20 KB report, no login: %.1f ms per recipient\n",
              MillisecondsEach(runs, [&] { ok = SendSmtpMail(mail) && ok; }));
  SmtpMail login = mail;
  login.Port = Port("VL_SMTP_AUTH");
  login.User = "reporter";
  login.Password = std::string(70, 'p');
  std::printf("SMTP, 1 MiB screenshot + 20 KB report, login:    %.1f ms per recipient\n",
              MillisecondsEach(runs, [&] { ok = SendSmtpMail(login) && ok; }));
  SmtpMail textOnly = mail;
  textOnly.Attachments.clear();
  const double one = MillisecondsEach(runs, [&] { ok = SendSmtpMail(textOnly) && ok; });
  std::printf("SMTP, text only:                                 %.1f ms per recipient\n", one);
  const double two = MillisecondsEach(runs, [&] {
    ok = SendSmtpMail(textOnly) && ok;
    ok = SendSmtpMail(textOnly) && ok;
  });
  std::printf("SMTP, two recipients / one:                      %.2f\n", two / one);
  // The send step's loop: one recipient and two in one recipient text (no progress dialog).
  const double loopOne =
      MillisecondsEach(runs, [&] { ok = SendSmtpToAll(false, textOnly, "a@example.test") && ok; });
  const double loopTwo = MillisecondsEach(
      runs, [&] { ok = SendSmtpToAll(false, textOnly, "a@example.test; b@example.test") && ok; });
  std::printf("SendSmtpToAll, text only: %.1f ms for one, two / one: %.2f\n", loopOne,
              loopTwo / loopOne);
  std::string host;
  std::printf("MX look-up:                                      %.2f ms\n",
              MillisecondsEach(runs * 5, [&] { host = ResolveMxHost("a@two.test"); }));
  std::printf("all delivered: %s; exchanger %s\n", ok ? "yes" : "NO", host.c_str());
  DeleteFileA(screenshot.c_str());
  DeleteFileA(report.c_str());
  return 0;
}
