#include "delivery/dns_packet.h"

namespace vl::delivery {
namespace {

uint16_t Read16(std::string_view p, size_t at) {
  return static_cast<uint16_t>((static_cast<unsigned char>(p[at]) << 8) |
                               static_cast<unsigned char>(p[at + 1]));
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Walks the name at Position. Returns false for a malformed name; Text receives the dotted name
// (empty for the root).
bool WalkName(std::string_view packet, size_t& position, std::string& text) {
  text.clear();
  size_t at = position;
  size_t resume = 0;
  bool jumped = false;
  int pointers = 0;
  size_t length = 0;
  for (;;) {
    if (at >= packet.size()) return false;
    const unsigned char c = static_cast<unsigned char>(packet[at]);
    if (c == 0) {
      position = jumped ? resume : at + 1;
      return true;
    }
    if ((c & 0xC0) == 0xC0) {
      if (at + 1 >= packet.size() || ++pointers > MaxDnsPointers) return false;
      if (!jumped) resume = at + 2;
      jumped = true;
      at = (static_cast<size_t>(c & 0x3F) << 8) | static_cast<unsigned char>(packet[at + 1]);
      continue;
    }
    if ((c & 0xC0) != 0) return false;  // reserved label types
    if (at + 1 + c > packet.size()) return false;
    length += c + 1;
    if (length > 255) return false;
    if (!text.empty()) text += '.';
    text.append(packet.data() + at + 1, c);
    at += 1 + c;
  }
}

}  // namespace

std::string MailDomain(const std::string& address) {
  const size_t at = address.find('@');
  return at == std::string::npos ? address : address.substr(at + 1);
}

std::string BuildMxQuery(const std::string& domain, uint16_t id) {
  std::string name = domain;
  if (!name.empty() && name.back() == '.') name.pop_back();
  if (name.empty() || name.size() > 253) return {};
  std::string packet("\x00\x00\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00", 12);
  packet[0] = static_cast<char>(id >> 8);
  packet[1] = static_cast<char>(id & 0xFF);
  size_t start = 0;
  for (;;) {
    const size_t dot = name.find('.', start);
    const size_t end = dot == std::string::npos ? name.size() : dot;
    const size_t label = end - start;
    if (label == 0 || label > 63) return {};
    packet += static_cast<char>(label);
    packet.append(name, start, label);
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  packet.append("\x00\x00\x0F\x00\x01", 5);
  return packet;
}

std::string ReadDnsName(std::string_view packet, size_t& position) {
  size_t at = position;
  std::string text;
  if (!WalkName(packet, at, text) || text.empty()) return {};
  position = at;
  return text;
}

TDnsAnswerKind ClassifyMxAnswer(std::string_view packet, std::string_view query) {
  // The query's question is its bytes after the header: labels without pointers, type, class.
  // The echo must be those bytes again (letters in either case), so a pointer, another name,
  // type or class, or a second question makes the datagram foreign.
  if (query.size() <= 12 || packet.size() < query.size()) return TDnsAnswerKind::Foreign;
  if (Read16(packet, 0) != Read16(query, 0) ||
      (static_cast<unsigned char>(packet[2]) & 0x80) == 0 || Read16(packet, 4) != 1)
    return TDnsAnswerKind::Foreign;
  for (size_t i = 12; i < query.size(); ++i) {
    if (LowerAscii(packet[i]) != LowerAscii(query[i])) return TDnsAnswerKind::Foreign;
  }
  return (static_cast<unsigned char>(packet[3]) & 0x0F) == 0 ? TDnsAnswerKind::Answered
                                                             : TDnsAnswerKind::Failed;
}

bool IsAddressLiteral(std::string_view name) {
  if (name.find_first_of(":[") != std::string_view::npos) return true;
  const size_t dot = name.rfind('.');
  std::string_view last = dot == std::string_view::npos ? name : name.substr(dot + 1);
  if (last.empty()) return false;
  bool hex = false;
  if (last.size() > 1 && last[0] == '0' && (last[1] == 'x' || last[1] == 'X')) {
    last.remove_prefix(2);
    hex = true;
  }
  for (char c : last) {
    const bool digit = c >= '0' && c <= '9';
    const bool hexLetter = (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!digit && !(hex && hexLetter)) return false;
  }
  return true;
}

std::string ParseMxAnswer(std::string_view packet, std::string_view query) {
  if (ClassifyMxAnswer(packet, query) != TDnsAnswerKind::Answered) return {};
  const unsigned answers = Read16(packet, 6);
  size_t at = query.size();  // past the one question, which equals the query's
  std::string name;
  std::string best;
  unsigned bestPreference = 0;
  for (unsigned r = 0; r < answers; ++r) {
    if (!WalkName(packet, at, name) || at + 10 > packet.size()) break;
    const uint16_t type = Read16(packet, at);
    const uint16_t klass = Read16(packet, at + 2);
    const size_t dataLength = Read16(packet, at + 8);
    const size_t data = at + 10;
    if (data + dataLength > packet.size()) break;
    if (type == 15 && klass == 1 && dataLength >= 3) {
      const std::string_view record = packet.substr(0, data + dataLength);
      const unsigned preference = Read16(packet, data);
      size_t nameAt = data + 2;
      std::string exchange = ReadDnsName(record, nameAt);
      bool printable = !exchange.empty() && !IsAddressLiteral(exchange);
      for (unsigned char c : exchange) printable = printable && c > ' ' && c < 0x7F;
      if (printable && (best.empty() || preference < bestPreference)) {
        best = exchange;
        bestPreference = preference;
      }
    }
    at = data + dataLength;
  }
  return best;
}

std::string AwaitMxAnswer(std::string_view query, const std::function<bool(std::string&)>& next,
                          int& errorCode) {
  errorCode = -1;
  std::string datagram;
  while (next(datagram)) {
    switch (ClassifyMxAnswer(datagram, query)) {
      case TDnsAnswerKind::Answered:
        return ParseMxAnswer(datagram, query);
      case TDnsAnswerKind::Failed:
        errorCode = static_cast<uint8_t>(datagram[3]) & 0x0F;
        return {};
      case TDnsAnswerKind::Foreign:
        break;
    }
  }
  return {};
}

}  // namespace vl::delivery
