// The upload address of the crash-collection server (option UploadUrl), split into the parts an
// HTTP client connects with. One rule for the post-build tool, which refuses a bad value by its
// key, and for the upload, which refuses it as a step error.
#pragma once

#include <cstdint>
#include <string>

namespace vl::core {

struct TUploadUrl {
  bool Secure = false;  // https
  std::string Host;     // a name or a dotted IPv4 address, as written
  uint16_t Port = 0;    // the one given, else 80 / 443
  std::string Path;     // path and query, starting with "/"; the fragment is dropped
};

// "http://" or "https://" (any case), a host of letters, digits, '-', '.' and '_', an optional
// ":port" (1 to 65535), then a path or query. Refused, with the reason in Why: another scheme,
// a user name or password, an IPv6 literal, blanks or control characters, more than 2048
// characters.
bool SplitUploadUrl(const std::string& url, TUploadUrl& out, std::string& why);

}  // namespace vl::core
