// Name-server answers are untrusted bytes: the MX answer reader and the name reader must stay
// inside the packet, end on every input and return only printable host names of a sane length,
// and only from the answer to the question asked.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "delivery/dns_packet.h"

using namespace vl;

using delivery::TDnsAnswerKind;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view packet(reinterpret_cast<const char*>(data), size);
  // The question asked is the one the packet seems to echo (so most inputs reach the records).
  size_t at = 12;
  const std::string domain = delivery::ReadDnsName(packet, at);
  const uint16_t id = size >= 2 ? static_cast<uint16_t>(data[0] << 8 | data[1]) : 0;
  const std::string query = delivery::BuildMxQuery(domain, id);
  const TDnsAnswerKind kind = delivery::ClassifyMxAnswer(packet, query);
  const std::string host = delivery::ParseMxAnswer(packet, query);
  if (!host.empty() && (kind != TDnsAnswerKind::Answered || delivery::IsAddressLiteral(host)))
    std::abort();
  if (host.size() > 255) std::abort();
  for (unsigned char c : host)
    if (c <= ' ' || c >= 0x7F) std::abort();
  // Another id is never the answer.
  const std::string other = delivery::BuildMxQuery(domain, static_cast<uint16_t>(id ^ 1));
  if (delivery::ClassifyMxAnswer(packet, other) != TDnsAnswerKind::Foreign) std::abort();
  // The name reader from every start position (bounded, to keep each run short).
  for (size_t start = 0; start < size && start < 64; ++start) {
    size_t position = start;
    const std::string name = delivery::ReadDnsName(packet, position);
    if (name.empty() ? position != start : (position > size || name.size() > 255)) std::abort();
  }
  return 0;
}
