// The MX look-up over several name servers whose datagrams may lie: spoofed ids, other
// questions, error answers, answers without a usable record. The input is the servers'
// datagrams, each a 16-bit length and its bytes; a length of 0 ends a server's turn. The first
// input bytes name the question (as mx_answer does), so that many datagrams echo it. Checked:
// - a server's exchanger comes from its first datagram that answers the question, and from no
//   other: Foreign datagrams before it never decide, those after it are never read;
// - an error answer ends that server's turn with nothing and names its RCODE;
// - the servers are asked in turn until one names an exchanger.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "delivery/dns_packet.h"
#include "fuzz_check.h"

using namespace vl;
using namespace delivery;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::vector<std::string>> servers(1);
  for (size_t at = 0; at + 2 <= size;) {
    const size_t length = size_t{data[at]} << 8 | data[at + 1];
    at += 2;
    if (length == 0) {
      servers.emplace_back();
      continue;
    }
    servers.back().emplace_back(input.substr(at, length));
    at += length < size - at ? length : size - at;
  }
  const std::string first = servers.front().empty() ? std::string() : servers.front().front();
  size_t at = 12;
  const std::string domain = ReadDnsName(first, at);
  const uint16_t id =
      first.size() >= 2 ? static_cast<uint16_t>(uint8_t(first[0]) << 8 | uint8_t(first[1])) : 0;
  const std::string query = BuildMxQuery(domain.empty() ? "example.com" : domain, id);

  std::string host;
  for (const std::vector<std::string>& datagrams : servers) {
    size_t taken = 0;
    int errorCode = 0;
    host = AwaitMxAnswer(
        query,
        [&](std::string& datagram) {
          if (taken == datagrams.size()) return false;
          datagram = datagrams[taken++];
          return true;
        },
        errorCode);
    // The deciding datagram is the last one read; every one before it was Foreign.
    for (size_t i = 0; i + 1 < taken; ++i)
      Check(ClassifyMxAnswer(datagrams[i], query) == TDnsAnswerKind::Foreign);
    const TDnsAnswerKind last =
        taken ? ClassifyMxAnswer(datagrams[taken - 1], query) : TDnsAnswerKind::Foreign;
    if (last == TDnsAnswerKind::Answered) {
      Check(host == ParseMxAnswer(datagrams[taken - 1], query) && errorCode == -1);
    } else if (last == TDnsAnswerKind::Failed) {
      Check(host.empty() && errorCode == (uint8_t(datagrams[taken - 1][3]) & 0x0F));
    } else {
      Check(host.empty() && taken == datagrams.size() && errorCode == -1);
    }
    if (!host.empty()) break;
  }
  return 0;
}
