// The socket client, the SMTP session and the MX look-up against real peers on the loopback
// network (tests/delivery/peers.py, started by run-with-peers.sh). Every test runs with the
// seams pointing at loopback only: a connection to any other address is refused, host names
// other than dotted 127.x and "localhost" do not resolve, and the only name server is the peer.
#include <gtest/gtest.h>
#include <windows.h>
// after windows.h
#include <wincrypt.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>
#include <utility>

#include "core/internal_errors.h"
#include "delivery/client_socket.h"
#include "delivery/mx_lookup.h"
#include "delivery/smtp_client.h"
#include "delivery/socket_seams.h"
#include "delivery_test_support.h"

using namespace vl;

using namespace delivery;

using deliverytest::PortOf;
using testsupport::Env;
using testsupport::Hex;
using testsupport::PeerDir;

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}
// Commands the peers logged for one mode, in order ("HELO", "RSET", ...: first word only).
std::vector<std::string> Commands(const std::string& mode) {
  std::vector<std::string> list;
  std::istringstream in(ReadFile(PeerDir() + "commands.log"));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string m, command;
    words >> m >> command;
    if (m == mode) list.push_back(command);
  }
  return list;
}

std::vector<uint32_t> g_connects;

class LoopbackOnly : public ::testing::Environment {
 public:
  void SetUp() override {
    TSeams& seams = Seams();
    seams.NameServers = [] { return std::vector<std::string>{"127.0.0.1"}; };
    seams.DnsPort = PortOf("VL_DNS_GOOD");
    seams.DnsTimeout = 1500;
    seams.SmtpTimeout = 3000;
    seams.ReplySilence = 1000;
    seams.ResolveHost = [](const std::string& name, uint32_t& address) {
      const std::string host = name.rfind("mx", 0) == 0 ? "127.0.0." + name.substr(2, 1) : name;
      const unsigned long dotted = inet_addr(host.c_str());
      if (host == "localhost") {
        address = htonl(INADDR_LOOPBACK);
        return 0;
      }
      if (dotted == INADDR_NONE || !IsLoopbackAddress(static_cast<uint32_t>(dotted)))
        return WSAHOST_NOT_FOUND;
      address = static_cast<uint32_t>(dotted);
      return 0;
    };
    seams.ConnectCheck = [](uint32_t address) {
      g_connects.push_back(address);
      return IsLoopbackAddress(address);
    };
  }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new LoopbackOnly);

SmtpMail Mail(const char* portVariable, const std::string& tag) {
  SmtpMail mail;
  mail.Sender = "app@example.com";
  mail.Host = "127.0.0.1";
  mail.Port = PortOf(portVariable);
  mail.Recipient = tag + "@example.test";
  mail.Subject = "Bug report";
  mail.Body = "Hello";
  return mail;
}

// Records what the checker expects of the message to Tag.
void Expect(const std::string& tag, const SmtpMail& mail, const std::vector<std::string>& files) {
  std::string text = "subject=" + Hex(mail.Subject) + "\nbody=" + Hex(mail.Body) + "\n";
  for (const std::string& f : files) text += "file=" + f + "\n";
  WriteFile(PeerDir() + tag + ".expect", text);
}

std::string LastError() { return LastStepError().Message; }

}  // namespace

TEST(SmtpSession, BothDialoguesDeliverTheMessageWithItsFiles) {
  std::mt19937 random(7);
  std::string screenshot(1 << 20, '\0');
  for (char& c : screenshot) c = static_cast<char>(random());
  WriteFile(PeerDir() + "Screenshot.png", screenshot);
  WriteFile(PeerDir() + "Report.vlf", "VantorLog 4.5.4\r\n.\r\nline\n");

  SmtpMail plain = Mail("VL_SMTP_PLAIN", "plain");
  plain.Subject = "Caf\xE9 cr\xE8me\r\nBcc: x@y";
  plain.Body = "Report\r\n.\r\n..dots\nbare\rcr 8-bit \xE9";
  plain.Attachments = {PeerDir() + "Report.vlf", "", PeerDir() + "missing.bin",
                       PeerDir() + "Screenshot.png"};
  std::vector<std::string> statuses;
  int64_t lastSent = 0, lastTotal = 0, pieces = 0;
  SmtpSessionHooks hooks;
  hooks.Status = [&](const std::string& s) { statuses.push_back(s); };
  hooks.Progress = [&](int64_t sent, int64_t total) {
    EXPECT_GE(sent, lastSent);
    ++pieces;
    lastSent = sent;
    lastTotal = total;
  };
  ClearStepError();
  EXPECT_TRUE(SendSmtpMail(plain, hooks)) << LastError();
  EXPECT_EQ(LastStepError().Code, eeNone);
  EXPECT_EQ(statuses,
            (std::vector<std::string>{"Connecting with SMTP server...",
                                      "Connected with SMTP server.", "Sending message..."}));
  EXPECT_EQ(lastSent, lastTotal);
  EXPECT_GT(lastTotal, 1400000);
  EXPECT_EQ(pieces, (lastTotal + 65535) / 65536) << "pieces of 64 KiB";
  EXPECT_EQ(Commands("plain"), (std::vector<std::string>{"HELO", "RSET", "MAIL", "RCPT", "DATA"}));
  plain.Subject = "Caf\xE9 cr\xE8me Bcc: x@y";  // what the subject header must read
  Expect("plain", plain, {"Report.vlf", "Screenshot.png"});

  SmtpMail login = Mail("VL_SMTP_AUTH", "login");
  login.User = "reporter";
  login.Password = std::string(70, 'p');  // longer than one base64 line of the old encoder
  login.Attachments = {PeerDir() + "Report.vlf"};
  EXPECT_TRUE(SendSmtpMail(login)) << LastError();
  EXPECT_EQ(Commands("auth"),
            (std::vector<std::string>{"EHLO", "RSET", "AUTH", "MAIL", "RCPT", "DATA"}));
  Expect("login", login, {"Report.vlf"});

  login.Password = "wrong";
  login.Recipient = "refused@example.test";
  EXPECT_FALSE(SendSmtpMail(login));
  EXPECT_EQ(LastStepError().Code, eeEmailSMTPError);
  EXPECT_NE(LastError().find("AUTH LOGIN\r\n334 "), std::string::npos) << LastError();
  EXPECT_NE(LastError().find("(user name)\r\n334 "), std::string::npos) << LastError();
  EXPECT_NE(LastError().find("(password)\r\n535 "), std::string::npos) << LastError();
  EXPECT_EQ(LastError().find("d3Jvbmc"), std::string::npos) << "the password stays out";
}

// The peers' test CA as a root of this Wine prefix's current user while it lives (never the
// host's store: the prefix is the build tree's own).
class TrustedTestCa {
 public:
  TrustedTestCa()
      : Store(CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER,
                            L"ROOT")) {
    const std::string der = ReadFile(PeerDir() + "ca.der");
    EXPECT_TRUE(Store && CertAddEncodedCertificateToStore(Store, X509_ASN_ENCODING,
                                                          reinterpret_cast<const BYTE*>(der.data()),
                                                          static_cast<DWORD>(der.size()),
                                                          CERT_STORE_ADD_REPLACE_EXISTING, &Added))
        << GetLastError();
    // Wine's registry store writes its changes out only when asked to.
    CertControlStore(Store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
  }
  ~TrustedTestCa() {
    if (Added) CertDeleteCertificateFromStore(Added);
    if (!Store) return;
    CertControlStore(Store, 0, CERT_STORE_CTRL_COMMIT, nullptr);  // the deletion too
    CertCloseStore(Store, 0);
  }
  HCERTSTORE Store;
  PCCERT_CONTEXT Added = nullptr;
};

TEST(SmtpSession, TlsAsAskedAndNothingInClearAfterItFails) {
  const TrustedTestCa trust;
  using S = TSmtpSecurity;
  const std::string inTls = "*EHLO *RSET *AUTH *MAIL *RCPT *DATA";
  const std::string untrusted = "[SMTP] The server's certificate is not trusted: ";
  const std::string notFor = "[SMTP] The server's certificate is not issued to \"";
  struct Case {
    std::string mode;  // the peer's, and the recipient of a mail that arrives
    S security;
    const char* host;
    std::string error;     // "" : delivered; else the step error's start
    std::string commands;  // what the peer received, "*" inside TLS
  } cases[] = {
      {"starttls", S::StartTls, "localhost", "", "EHLO STARTTLS " + inTls},
      {"tls", S::Tls, "localhost", "", inTls},
      {"untrusted", S::StartTls, "localhost", untrusted, "EHLO STARTTLS"},
      {"tlsother", S::Tls, "localhost", untrusted, ""},
      {"starttls", S::StartTls, "mx1.test", notFor + "mx1.test\".", "EHLO STARTTLS"},
      {"tls", S::Tls, "127.0.0.1", notFor + "127.0.0.1\".", ""},
      {"nostarttls", S::StartTls, "localhost", "[SMTP] The server does not offer STARTTLS.",
       "EHLO"},
  };
  for (const Case& c : cases) {
    const size_t before = Commands(c.mode).size();
    std::string port = "VL_SMTP_" + c.mode;
    std::transform(port.begin(), port.end(), port.begin(), ::toupper);
    SmtpMail mail = Mail(port.c_str(), c.error.empty() ? c.mode : "refused");
    mail.Security = c.security;
    mail.Host = c.host;
    mail.User = "reporter";
    mail.Password = std::string(70, 'p');
    EXPECT_EQ(SendSmtpMail(mail), c.error.empty()) << c.mode << " " << c.host;
    EXPECT_EQ(LastError().substr(0, c.error.size()), c.error) << c.mode << " " << c.host;
    const std::vector<std::string> all = Commands(c.mode);
    std::string sent;
    for (size_t i = before; i < all.size(); ++i) sent += (i > before ? " " : "") + all[i];
    EXPECT_EQ(sent, c.commands) << c.mode << " " << c.host;
    if (c.error.empty()) Expect(c.mode, mail, {});
  }
  EXPECT_TRUE(ReadFile(PeerDir() + "refused.eml").empty());
}

TEST(SmtpSession, RepliesDecideTheOutcome) {
  SmtpMail forward = Mail("VL_SMTP_RCPT251", "forward");
  EXPECT_TRUE(SendSmtpMail(forward)) << LastError();
  Expect("forward", forward, {});

  const std::string port550 = std::to_string(PortOf("VL_SMTP_RCPT550"));
  EXPECT_FALSE(SendSmtpMail(Mail("VL_SMTP_RCPT550", "nobody")));
  EXPECT_EQ(LastStepError().Code, eeEmailSMTPError);
  const std::string error = LastError();
  EXPECT_EQ(error.rfind("[SMTP] Connected to 127.0.0.1 port " + port550 + "\r\n220 ", 0), 0u)
      << error;
  const std::string tail = "RCPT TO:<nobody@example.test>\r\n550 5.1.1 No such user here\r\n";
  ASSERT_GE(error.size(), tail.size());
  EXPECT_EQ(error.substr(error.size() - tail.size()), tail);

  EXPECT_FALSE(SendSmtpMail(Mail("VL_SMTP_DATA554", "late")));
  const std::string data = LastError();
  EXPECT_NE(data.find("\r\nDATA\r\n354 "), std::string::npos) << data;
  EXPECT_NE(data.find("(message, "), std::string::npos) << data;
  EXPECT_EQ(data.find("X-Library"), std::string::npos) << "the message stays out";
  EXPECT_EQ(data.substr(data.size() - 24), "554 Transaction failed\r\n");

  // Two seconds before the RCPT reply: within the time-out it is still a normal reply.
  SmtpMail slow = Mail("VL_SMTP_DELAY", "slow");
  EXPECT_TRUE(SendSmtpMail(slow)) << LastError();
  Expect("slow", slow, {});
  Seams().SmtpTimeout = 1000;
  slow.Recipient = "tooslow@example.test";
  EXPECT_FALSE(SendSmtpMail(slow));
  EXPECT_EQ(LastError(), "[SMTP] Socket timeout.");
  Seams().SmtpTimeout = 3000;
}

TEST(SmtpSession, LyingPeersFailCleanlyAndInTime) {
  struct Case {
    const char* port;
    std::string error;  // "" : the transcript (checked by its start)
  } cases[] = {
      {"VL_SMTP_GREET554", "\r\n554 No service here\r\n"},
      {"VL_SMTP_DROP", "[SMTP] Connection closed by the peer."},
      {"VL_SMTP_GARBAGE", "[SMTP] 'xyz' is not a valid integer value"},
      {"VL_SMTP_CODE2500", "\r\n2500\r\n"},
      {"VL_SMTP_DIGITS40",
       "[SMTP] '1234567890123456789012345678901234567890' is not a valid integer value"},
      {"VL_SMTP_TRICKLE", "\r\n222"},
  };
  for (const Case& c : cases) {
    const DWORD start = GetTickCount();
    EXPECT_FALSE(SendSmtpMail(Mail(c.port, "liar"))) << c.port;
    const DWORD spent = GetTickCount() - start;
    EXPECT_LT(spent, 4500u) << c.port;
    EXPECT_EQ(LastStepError().Code, eeEmailSMTPError) << c.port;
    if (c.error.rfind("[SMTP]", 0) == 0) {
      EXPECT_EQ(LastError().substr(0, c.error.size()), c.error) << c.port;
    } else {
      EXPECT_NE(LastError().find(c.error), std::string::npos) << c.port << ": " << LastError();
      EXPECT_EQ(LastError().rfind("[SMTP] Connected to 127.0.0.1 port ", 0), 0u) << c.port;
    }
    if (c.error == "\r\n554 No service here\r\n") {
      EXPECT_EQ(Commands("greet554"), std::vector<std::string>{"connect"});
    }
  }
}

TEST(SmtpSession, NothingLeavesTheLoopbackNetwork) {
  struct Case {
    const char* host;
    bool connectAsked;
  } cases[] = {
      {"no.such.host.invalid", false}, {"", false}, {"10.1.2.3", false}, {"0.0.0.0", false}};
  for (const Case& c : cases) {
    g_connects.clear();
    SmtpMail mail = Mail("VL_SMTP_PLAIN", "never");
    mail.Host = c.host;
    EXPECT_FALSE(SendSmtpMail(mail)) << c.host;
    EXPECT_EQ(LastError().rfind("[SMTP] Connection error: \"", 0), 0u) << LastError();
    for (uint32_t address : g_connects) EXPECT_TRUE(IsLoopbackAddress(address)) << c.host;
  }
  // Addresses that would add a command are refused before anything is sent.
  SmtpMail injected = Mail("VL_SMTP_PLAIN", "inject");
  injected.Recipient = "a@example.test>\r\nRCPT TO:<b@example.test";
  EXPECT_FALSE(SendSmtpMail(injected));
  EXPECT_EQ(LastError(), "[SMTP] An address holds a control character.");
}

TEST(SmtpSession, TheProductsResolverRefusesWhatIsNoHost) {
  const auto seam = std::exchange(Seams().ResolveHost, nullptr);  // the product's; literals only
  for (const std::string host :
       {"0.0.0.0", "0.1.2.3", "255.255.255.255", "224.0.0.1", "127.0.0.1"}) {
    g_connects.clear();
    SmtpMail mail = Mail("VL_SMTP_PLAIN", "resolver");
    mail.Host = host;
    const bool loopback = host == "127.0.0.1";
    EXPECT_EQ(SendSmtpMail(mail), loopback) << LastError();
    EXPECT_EQ(g_connects.size(), loopback ? 1u : 0u) << host;
    EXPECT_TRUE(loopback || LastError() == "[SMTP] Connection error: \"" + host +
                                               " is not the address of a host (" + host + ").\"")
        << LastError();
  }
  Seams().ResolveHost = seam;
}

TEST(SocketClient, ExactTextsAndTheErrorEvent) {
  TVantorClientSocket udp("127.0.0.1", PortOf("VL_DNS_SILENCE"), false, 300);
  EXPECT_EQ(udp.SendText("x"), 0) << "not connected: nothing sent";
  udp.Connect();
  EXPECT_TRUE(udp.Connected);
  EXPECT_EQ(udp.Transcript,
            "Connected to 127.0.0.1 port " + std::to_string(PortOf("VL_DNS_SILENCE")) + "\r\n");
  std::string seen;
  udp.OnError = [&](TVantorClientSocket*, int code, const std::string& message) {
    EXPECT_EQ(code, -1);
    seen = message;
  };
  EXPECT_EQ(udp.SendText("hello"), 5);
  try {
    udp.ReadReply();
    ADD_FAILURE() << "no time-out";
  } catch (const EVantorSocketError& e) {
    EXPECT_EQ(e.Message, "Socket timeout.");
  }
  EXPECT_EQ(seen, "Socket timeout.");
  udp.SilentErrors = true;
  EXPECT_THROW(udp.ReadReply(), EAbort);
  udp.Disconnect();
  EXPECT_FALSE(udp.Connected);
  EXPECT_EQ(udp.Transcript, "");

  TVantorClientSocket closed("127.0.0.1", 1, true, 1000);  // nothing listens on port 1
  EXPECT_THROW(closed.Connect(), EVantorSocketError);
  EXPECT_FALSE(closed.Connected);
}

TEST(MxLookup, AnswersOfTheLoopbackNameServer) {
  struct Case {
    const char* dnsPort;
    std::string address;
    std::string result;  // the host, or the error text
  } cases[] = {
      {"VL_DNS_GOOD", "x@two.test", "mx2.test"},
      {"VL_DNS_GOOD", "three.test", "mx3.test"},
      {"VL_DNS_GOOD", "a@pref.test", "mx2.test"},
      {"VL_DNS_GOOD", "a@literal.test", "mx3.test"},
      {"VL_DNS_GOOD", "a@unknown.test", "Cannot resolve the \"unknown.test\" MX record."},
      {"VL_DNS_GOOD", "a@", "Cannot resolve the \"\" MX record."},
      {"VL_DNS_GOOD", "a@" + std::string(64, 'x') + ".test",
       "Cannot resolve the \"" + std::string(64, 'x') + ".test\" MX record."},
      {"VL_DNS_TRUNCATED", "a@x.test", "Cannot resolve the \"x.test\" MX record."},
      {"VL_DNS_SELFPTR", "a@x.test", "Cannot resolve the \"x.test\" MX record."},
      {"VL_DNS_PTRPAST", "a@x.test", "Cannot resolve the \"x.test\" MX record."},
      {"VL_DNS_RDLENPAST", "a@x.test", "Cannot resolve the \"x.test\" MX record."},
      {"VL_DNS_CNAMEFIRST", "a@x.test", "mx3.test"},
      {"VL_DNS_UNCOMPRESSED", "a@x.test", "mx2.test"},
      {"VL_DNS_WRONGID", "a@x.test", "Cannot resolve the \"x.test\" MX record."},
      {"VL_DNS_SILENCE", "a@x.test", "Cannot resolve the \"x.test\" MX record."},
      {"VL_DNS_CLOSED", "a@x.test", "Cannot resolve the \"x.test\" MX record."},
      {"VL_DNS_SERVFAIL", "a@two.test", "Cannot resolve the \"two.test\" MX record."},
  };
  for (const Case& c : cases) {
    Seams().DnsPort = PortOf(c.dnsPort);
    const DWORD start = GetTickCount();
    std::string result;
    try {
      result = ResolveMxHost(c.address);
    } catch (const EVantorSocketError& e) {
      result = e.Message;
    } catch (const Exception& e) {
      result = "?" + e.Message;
    }
    EXPECT_EQ(result, c.result) << c.dnsPort << " " << c.address;
    EXPECT_LT(GetTickCount() - start, 2500u) << c.dnsPort;
  }
  Seams().DnsPort = PortOf("VL_DNS_GOOD");
  // A failing and a silent server: the look-up goes on to the next, with a new id each time.
  Seams().NameServers = [] {
    return std::vector<std::string>{"127.0.0.4", "127.0.0.5", "127.0.0.6"};
  };
  EXPECT_EQ(ResolveMxHost("a@two.test"), "mx2.test");
  Seams().NameServers = [] { return std::vector<std::string>{"127.0.0.1"}; };
  const std::vector<std::string> ids = Commands("dns-silence");
  EXPECT_NE(ids.back().substr(0, 4), ids[ids.size() - 2].substr(0, 4));
  // Refused domains are never asked for.
  size_t asked = Commands("dns-good").size();
  EXPECT_THROW(ResolveMxHost("a@.test"), EVantorSocketError);
  EXPECT_EQ(Commands("dns-good").size(), asked);

  // The direct mode's way: the exchanger, then the session to it on the same port.
  SmtpMail direct = Mail("VL_SMTP_PLAIN", "direct");
  direct.Recipient = "direct@three.test";
  direct.Host = ResolveMxHost(direct.Recipient);
  EXPECT_TRUE(SendSmtpMail(direct)) << LastError();
  Expect("direct", direct, {});
}

TEST(MxLookup, SystemNameServersEndWithTheFallback) {
  const std::vector<std::string> servers = GetDnsServers();
  ASSERT_FALSE(servers.empty());
  EXPECT_EQ(servers.back(), FallbackNameServer);
  for (const std::string& s : servers) EXPECT_NE(s, "0.0.0.0");
}
