#include "core/upload_url.h"

#include <cctype>

namespace vl::core {

namespace {

bool StartsWithNoCase(const std::string& s, const char* prefix) {
  size_t i = 0;
  for (; prefix[i]; ++i) {
    if (i >= s.size() ||
        std::tolower(static_cast<unsigned char>(s[i])) != static_cast<unsigned char>(prefix[i]))
      return false;
  }
  return true;
}

bool HostCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
}

}  // namespace

bool SplitUploadUrl(const std::string& url, TUploadUrl& out, std::string& why) {
  out = TUploadUrl();
  auto refuse = [&why](const char* reason) {
    why = reason;
    return false;
  };
  if (url.size() > 2048) return refuse("it is longer than 2048 characters");
  for (char c : url) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7F) return refuse("it contains a blank or a control character");
  }
  size_t at;
  if (StartsWithNoCase(url, "https://")) {
    out.Secure = true;
    at = 8;
  } else if (StartsWithNoCase(url, "http://")) {
    at = 7;
  } else {
    return refuse("it does not start with http:// or https://");
  }
  size_t end = url.find_first_of("/?#", at);
  if (end == std::string::npos) end = url.size();
  const std::string authority = url.substr(at, end - at);
  if (authority.find('@') != std::string::npos)
    return refuse("a user name or password in the address is not supported");
  if (!authority.empty() && authority[0] == '[')
    return refuse("an IPv6 address literal is not supported");
  const size_t colon = authority.find(':');
  out.Host = authority.substr(0, colon);
  if (out.Host.empty()) return refuse("it names no host");
  for (char c : out.Host) {
    if (!HostCharacter(c)) return refuse("the host name has a character that no host name has");
  }
  out.Port = out.Secure ? 443 : 80;
  if (colon != std::string::npos) {
    const std::string port = authority.substr(colon + 1);
    if (port.empty() || port.size() > 5) return refuse("the port is not a number from 1 to 65535");
    uint32_t value = 0;
    for (char c : port) {
      if (!std::isdigit(static_cast<unsigned char>(c)))
        return refuse("the port is not a number from 1 to 65535");
      value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value == 0 || value > 65535) return refuse("the port is not a number from 1 to 65535");
    out.Port = static_cast<uint16_t>(value);
  }
  std::string rest = url.substr(end);
  const size_t hash = rest.find('#');
  if (hash != std::string::npos) rest.erase(hash);
  out.Path = rest.empty() || rest[0] != '/' ? "/" + rest : rest;
  why.clear();
  return true;
}

}  // namespace vl::core
