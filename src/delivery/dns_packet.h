// The DNS packets of the mail-exchanger look-up: one MX question, and the answer's MX records.
// Every read of an answer is bounds-checked; an answer that breaks any rule yields no host.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vl::delivery {

// The identifier every query carries (bytes 0x41 0x41); answers with another one are ignored.
constexpr uint16_t MxQueryId = 0x4141;
// The most compression pointers followed while reading one name.
constexpr int MaxDnsPointers = 32;

// The domain of a recipient address: the text after the first "@", or the whole address.
std::string MailDomain(const std::string& address);

// The query packet: 12-byte header (id 0x4141, recursion desired, one question), the domain as
// labels, type MX, class IN. Empty when the domain cannot be asked for: empty, an empty label
// (leading dot, two dots), a label over 63 bytes or a name over 253 bytes. One trailing dot is
// allowed.
std::string BuildMxQuery(const std::string& domain);

// Reads the name at Position (labels and compression pointers, at most MaxDnsPointers of them)
// and moves Position past it: past the two bytes of the first pointer, or past the terminating
// zero. Empty, with Position unchanged, when any byte lies outside the packet, a label type is
// reserved, there are too many pointers or the name is the root.
std::string ReadDnsName(std::string_view packet, size_t& position);

// True when the packet is a response (QR set) carrying the query's identifier.
bool IsMxAnswer(std::string_view packet);

// The exchange of the most preferred MX record (lowest preference; the first of equal ones) in
// the answer section, or empty. The answer must carry the query id and the response flag; only
// records of type MX (15) and class IN (1) count, and each record is walked by its owner name and
// RDLENGTH. The exchange name must lie within its record's data and be printable ASCII.
std::string ParseMxAnswer(std::string_view packet);

}  // namespace vl::delivery
