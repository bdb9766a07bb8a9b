// The DNS packets of the mail-exchanger look-up: one MX question, and the answer's MX records.
// Every read of an answer is bounds-checked; an answer that breaks any rule yields no host.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vl::delivery {

// The most compression pointers followed while reading one name.
constexpr int MaxDnsPointers = 32;

// The domain of a recipient address: the text after the first "@", or the whole address.
std::string MailDomain(const std::string& address);

// The query packet: 12-byte header (the given id, which the caller draws at random per query;
// recursion desired; one question), the domain as labels, type MX, class IN. Empty when the domain
// cannot be asked for: empty, an empty label (leading dot, two dots), a label over 63 bytes or a
// name over 253 bytes. One trailing dot is allowed.
std::string BuildMxQuery(const std::string& domain, uint16_t id);

// Reads the name at Position (labels and compression pointers, at most MaxDnsPointers of them)
// and moves Position past it: past the two bytes of the first pointer, or past the terminating
// zero. Empty, with Position unchanged, when any byte lies outside the packet, a label type is
// reserved, there are too many pointers or the name is the root.
std::string ReadDnsName(std::string_view packet, size_t& position);

// What a datagram is to the query (a packet of BuildMxQuery) that was sent.
enum class TDnsAnswerKind {
  // Not the answer to this query: too short, not a response (QR clear), another id, or not
  // exactly one question equal to the one asked (the name compared without regard to ASCII
  // case, type and class too). Ignored: the wait for the real answer goes on.
  Foreign,
  // The answer to this query with a non-zero RCODE: the server failed or knows no such name.
  Failed,
  // The answer to this query, RCODE 0.
  Answered,
};
TDnsAnswerKind ClassifyMxAnswer(std::string_view packet, std::string_view query);

// True when Name (dotted) is an address literal rather than a host name: its last label is a
// number (decimal, octal or 0x hexadecimal, every form the socket library's address parser
// takes), or it holds a ':' or '[' (IPv6 and bracketed literals). Host names end in a
// top-level label that is not a number.
bool IsAddressLiteral(std::string_view name);

// The exchange of the most preferred MX record (lowest preference; the first of equal ones) in
// the answer section, or empty. Only an Answered packet (ClassifyMxAnswer) is read; only
// records of type MX (15) and class IN (1) count, and each record is walked by its owner name and
// RDLENGTH. The exchange name must lie within its record's data, be printable ASCII and not be
// an address literal (such records are skipped).
std::string ParseMxAnswer(std::string_view packet, std::string_view query);

// One name server's datagrams as they arrive (Next gives the next one; false when there are no
// more: time-out or socket error), for the question Query. The first datagram that answers the
// question decides: the exchanger of an Answered one (ParseMxAnswer; may be empty), nothing
// for a Failed one, whose RCODE goes to ErrorCode (else -1). Foreign datagrams (a spoofed id,
// another question) are passed over, however many come.
std::string AwaitMxAnswer(std::string_view query, const std::function<bool(std::string&)>& next,
                          int& errorCode);

}  // namespace vl::delivery
