// Name-server answers are untrusted bytes: the MX answer reader and the name reader must stay
// inside the packet, end on every input and return only printable names of a sane length.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "delivery/dns_packet.h"

using namespace vl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view packet(reinterpret_cast<const char*>(data), size);
  const std::string host = delivery::ParseMxAnswer(packet);
  if (host.size() > 255) std::abort();
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
