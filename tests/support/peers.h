// Test support: what the programs run by tests/delivery/run-with-peers.sh share with the
// loopback peers it starts (SMTP, DNS and HTTP servers): the environment naming them, their
// folder, and the hex form in which expectation files carry text.
#pragma once

#include <cstdlib>
#include <string>

namespace testsupport {

// The variable's value, empty when it is not set.
inline std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// The peers' folder (VL_PEER_DIR) as a Windows path (Wine's drive Z: is the Unix root), with "\"
// at the end.
inline std::string PeerDir() {
  std::string path = "Z:" + Env("VL_PEER_DIR") + "/";
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

// Two lower-case hex digits per byte.
inline std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) out += {digits[c >> 4], digits[c & 15]};
  return out;
}

}  // namespace testsupport
