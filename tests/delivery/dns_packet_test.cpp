#include "delivery/dns_packet.h"

#include <gtest/gtest.h>

using namespace vl;

using namespace delivery;

namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

const std::string kHeader = Bytes({0x41, 0x41, 0x81, 0x80, 0, 1, 0, 1, 0, 0, 0, 0});
const std::string kQuestion = Bytes({7}) + "example" + Bytes({3}) + "org" + Bytes({0, 0, 15, 0, 1});

// An answer record: owner (bytes), type, class, TTL, then RDATA.
std::string Record(const std::string& owner, int type, const std::string& data) {
  return owner + Bytes({0, type, 0, 1, 0, 0, 1, 0, 0, static_cast<int>(data.size())}) + data;
}
std::string Mx(int preference, const std::string& name) { return Bytes({0, preference}) + name; }
std::string Name(const std::string& dotted) {
  std::string out;
  size_t start = 0;
  for (;;) {
    const size_t dot = dotted.find('.', start);
    const std::string label = dotted.substr(start, dot == std::string::npos ? dot : dot - start);
    out += static_cast<char>(label.size()) + label;
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  return out + Bytes({0});
}
std::string Answer(int count, const std::string& records) {
  std::string header = kHeader;
  header[7] = static_cast<char>(count);
  return header + kQuestion + records;
}
const std::string kPtr = Bytes({0xC0, 12});  // the question's name
const std::string kQuery = BuildMxQuery("example.org", 0x4141);

}  // namespace

TEST(DnsQuery, PacketBytesAndRefusedDomains) {
  EXPECT_EQ(BuildMxQuery("example.org", 0xA15E),
            Bytes({0xA1, 0x5E, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0}) + kQuestion);
  EXPECT_EQ(BuildMxQuery("example.org.", 1), BuildMxQuery("example.org", 1));
  EXPECT_EQ(BuildMxQuery(std::string(63, 'a') + ".org", 1).size(), 12u + 1 + 63 + 4 + 1 + 4);
  for (const std::string& bad :
       {std::string(), std::string("."), std::string(".org"), std::string("a..org"),
        std::string(64, 'a') + ".org", std::string("org.."), std::string(254, 'a')}) {
    EXPECT_EQ(BuildMxQuery(bad, 1), "") << bad;
  }
  EXPECT_EQ(MailDomain("bugs@example.org"), "example.org");
  EXPECT_EQ(MailDomain("example.org"), "example.org");
  EXPECT_EQ(MailDomain("a@b@c"), "b@c");
  EXPECT_EQ(MailDomain("bugs@"), "");
}

TEST(DnsName, ReadsLabelsAndPointersWithinThePacket) {
  const std::string packet = kHeader + kQuestion + Bytes({4}) + "mail" + kPtr;
  size_t at = 12;
  EXPECT_EQ(ReadDnsName(packet, at), "example.org");
  EXPECT_EQ(at, 12u + 13);  // past the zero
  at = 12 + kQuestion.size();
  EXPECT_EQ(ReadDnsName(packet, at), "mail.example.org");
  EXPECT_EQ(at, packet.size());  // past the two pointer bytes

  struct Case {
    const char* what;
    std::string packet;
    size_t start;
  } bad[] = {
      {"self pointer", kHeader + Bytes({0xC0, 12}), 12},
      {"pointer loop", kHeader + Bytes({0xC0, 14, 0xC0, 12}), 12},
      {"pointer past end", kHeader + Bytes({0xC0, 0xFF}), 12},
      {"half pointer", kHeader + Bytes({0xC0}), 12},
      {"label past end", kHeader + Bytes({5}) + "abc", 12},
      {"no terminator", kHeader + Bytes({3}) + "abc", 12},
      {"start past end", kHeader, 40},
      {"reserved type", kHeader + Bytes({0x40, 0}), 12},
      {"root", kHeader + Bytes({0}), 12},
  };
  for (const Case& c : bad) {
    size_t position = c.start;
    EXPECT_EQ(ReadDnsName(c.packet, position), "") << c.what;
    EXPECT_EQ(position, c.start) << c.what;
  }
  // A chain of 32 pointers is followed, 33 are not.
  std::string chain = kHeader + Bytes({1}) + "x" + Bytes({0});
  chain += Bytes({0xC0, 12});
  for (int i = 1; i < 33; ++i) chain += Bytes({0xC0, static_cast<int>(15 + 2 * (i - 1))});
  size_t at32 = 15 + 2 * 31, at33 = 15 + 2 * 32;
  EXPECT_EQ(ReadDnsName(chain, at32), "x");
  EXPECT_EQ(ReadDnsName(chain, at33), "");
}

TEST(DnsAnswer, PicksTheLowestPreferenceAmongMxRecords) {
  struct Case {
    const char* what;
    std::string packet;
    std::string host;
  } cases[] = {
      {"one", Answer(1, Record(kPtr, 15, Mx(10, Name("mx.example.org")))), "mx.example.org"},
      {"compressed exchange", Answer(1, Record(kPtr, 15, Mx(10, Bytes({2}) + "mx" + kPtr))),
       "mx.example.org"},
      {"10 before 20",
       Answer(2, Record(kPtr, 15, Mx(20, Name("b.org"))) + Record(kPtr, 15, Mx(10, Name("a.org")))),
       "a.org"},
      {"equal: first wins",
       Answer(2, Record(kPtr, 15, Mx(5, Name("a.org"))) + Record(kPtr, 15, Mx(5, Name("b.org")))),
       "a.org"},
      {"CNAME before MX",
       Answer(2, Record(kPtr, 5, Name("alias.org")) + Record(kPtr, 15, Mx(1, Name("m.org")))),
       "m.org"},
      {"A record only", Answer(1, Record(kPtr, 1, Bytes({127, 0, 0, 2}))), ""},
      {"uncompressed owner",
       Answer(1, Record(Name("example.org"), 15, Mx(3, Name("m.example.org")))), "m.example.org"},
      {"exchange outside its record",
       Answer(1, Record(kPtr, 15, Mx(3, Bytes({5}))) + "mxabc" + Bytes({0})), ""},
      {"RDLENGTH past end", Answer(1, Record(kPtr, 15, Mx(3, Name("m.org")))).substr(0, 48), ""},
      {"truncated question", Answer(1, "").substr(0, 20), ""},
      {"no answers", Answer(0, Record(kPtr, 15, Mx(3, Name("m.org")))), ""},
      {"header only", kHeader, ""},
      {"empty", "", ""},
      {"null MX", Answer(1, Record(kPtr, 15, Mx(0, Bytes({0})))), ""},
      {"control bytes", Answer(1, Record(kPtr, 15, Mx(0, Name("a\rb.org")))), ""},
      {"address literal skipped",
       Answer(2, Record(kPtr, 15, Mx(1, Name("[::1]"))) + Record(kPtr, 15, Mx(2, Name("m.0a")))),
       "m.0a"},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseMxAnswer(c.packet, kQuery), c.host) << c.what;
}

TEST(DnsAnswer, OnlyTheAnswerToTheQuestionAskedIsRead) {
  using K = TDnsAnswerKind;
  struct Case {
    const char* what;
    size_t at;  // the byte changed in an answer naming mx.example.org
    int value;
    K kind;
  } cases[] = {{"as asked", 0, 0x41, K::Answered},  {"name in capitals", 13, 'E', K::Answered},
               {"other id", 1, 0x42, K::Foreign},   {"QR clear", 2, 0x01, K::Foreign},
               {"two questions", 5, 2, K::Foreign}, {"other name", 14, 'y', K::Foreign},
               {"type A", 26, 1, K::Foreign},       {"class CH", 28, 3, K::Foreign},
               {"SERVFAIL", 3, 0x82, K::Failed},    {"NXDOMAIN", 3, 0x83, K::Failed}};
  for (const Case& c : cases) {
    std::string packet = Answer(1, Record(kPtr, 15, Mx(10, Name("mx.example.org"))));
    packet[c.at] = static_cast<char>(c.value);
    EXPECT_EQ(ClassifyMxAnswer(packet, kQuery), c.kind) << c.what;
    EXPECT_EQ(ParseMxAnswer(packet, kQuery) == "mx.example.org", c.kind == K::Answered) << c.what;
  }
}
