// Name-server answers are untrusted bytes: the MX answer reader and the name reader must stay
// inside the packet, end on every input and return only printable names of a sane length.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "delivery/dns_packet.h"

using namespace vl;
using namespace delivery;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view packet(reinterpret_cast<const char*>(data), size);
  // Asked: the question the packet seems to echo, so that most inputs reach the records.
  size_t at = 12;
  const std::string domain = ReadDnsName(packet, at);
  const uint16_t id = size >= 2 ? static_cast<uint16_t>(data[0] << 8 | data[1]) : 0;
  const std::string query = BuildMxQuery(domain, id);
  const std::string host = delivery::ParseMxAnswer(packet, query);
  const bool answered = ClassifyMxAnswer(packet, query) == TDnsAnswerKind::Answered;
  const std::string otherId = BuildMxQuery(domain, static_cast<uint16_t>(id ^ 1));
  if (ClassifyMxAnswer(packet, otherId) != TDnsAnswerKind::Foreign) std::abort();
  if (host.size() > 255 || (!host.empty() && (!answered || IsAddressLiteral(host)))) std::abort();
  for (unsigned char c : host)
    if (c <= ' ' || c >= 0x7F) std::abort();
  // The name reader from every start position (bounded, to keep each run short).
  for (size_t start = 0; start < size && start < 64; ++start) {
    size_t position = start;
    const std::string name = delivery::ReadDnsName(packet, position);
    if (name.empty() ? position != start : (position > size || name.size() > 255)) std::abort();
  }
  return 0;
}
