// What the socket client takes from its surroundings, so that tests can run it against peers on
// the loopback network only. The defaults are the product's; every test sets every entry (a
// test must never reach the machine's real name server or any address outside 127.0.0.0/8).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vl::delivery {

struct TSeams {
  // The name servers of a look-up, in order. Null: GetDnsServers().
  std::function<std::vector<std::string>()> NameServers;
  // UDP port of the name servers.
  uint16_t DnsPort = 53;
  // Longest wait for one name server's answer, for one SMTP reply, and for a connection, in ms.
  uint32_t DnsTimeout = 30000;
  uint32_t SmtpTimeout = 30000;
  // The upload's time-outs (WinHTTP's resolve, connect, send and receive), in ms.
  uint32_t HttpTimeout = 30000;
  // Silence that ends an SMTP reply whose last line never comes, in ms.
  uint32_t ReplySilence = 1000;
  // Host name or dotted address to an IPv4 address (network byte order). Returns 0 on success or
  // the Winsock error code. Null: the dotted form, else the system's host look-up (its first
  // address that names a host). Whichever answers, Connect refuses an address that names no
  // host (IsHostAddress) before any socket exists.
  std::function<int(const std::string& host, uint32_t& address)> ResolveHost;
  // Asked before every connection with the peer's address (network byte order); false refuses
  // it (the connection fails with WSAEACCES). Null: every address is allowed.
  std::function<bool(uint32_t address)> ConnectCheck;
};

// The process-wide seams (set them before any socket is created).
TSeams& Seams();

// True for an address in 127.0.0.0/8 (network byte order).
bool IsLoopbackAddress(uint32_t address);

}  // namespace vl::delivery
