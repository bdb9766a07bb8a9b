#include "delivery/mx_lookup.h"

#include <iphlpapi.h>
#include <windows.h>
#include <winsock2.h>
// After windows.h: RtlGenRandom (advapi32's SystemFunction036).
#include <ntsecapi.h>

#include <memory>

#include "core/trace.h"
#include "delivery/address_list.h"
#include "delivery/client_socket.h"
#include "delivery/dns_packet.h"
#include "delivery/socket_seams.h"

namespace vl::delivery {

const char* const FallbackNameServer = "9.9.9.9";

namespace {

// A name server is an address that names a host (IsHostAddress): entries such as "0.0.0.0",
// which the system reports for an unset server, are left out before anything is sent.
void AddServer(std::vector<std::string>& list, const std::string& server) {
  const std::string text = TrimText(server);
  const unsigned long address = inet_addr(text.c_str());
  if (address == INADDR_NONE || !IsHostAddress(static_cast<uint32_t>(address))) return;
  // Each server once: a dead one listed twice (or the fallback listed by the system) would
  // cost its time-out twice.
  for (const std::string& known : list)
    if (inet_addr(known.c_str()) == address) return;
  list.push_back(text);
}

using GetNetworkParamsProc = DWORD(WINAPI*)(PFIXED_INFO, PULONG);

// A query id nobody off the path can guess: the system's random generator. Should it ever fail,
// the performance counter and the tick count still make every id differ from the last.
uint16_t RandomQueryId() {
  uint16_t id = 0;
  if (RtlGenRandom(&id, sizeof id)) return id;
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  static uint32_t previous = 0;
  previous = previous * 2654435761u + static_cast<uint32_t>(now.QuadPart) + GetTickCount();
  return static_cast<uint16_t>(previous ^ (previous >> 16));
}

// Asks one name server. Returns the exchanger, or empty when the server names none: no answer
// within DnsTimeout (foreign datagrams do not count as answers), an error answer, an answer
// without a usable MX record, or a socket error (traced).
std::string AskNameServer(const std::string& server, const std::string& domain) {
  const TSeams& seams = Seams();
  const std::string query = BuildMxQuery(domain, RandomQueryId());
  try {
    TVantorClientSocket socket(server, seams.DnsPort, false, seams.DnsTimeout);
    socket.Connect();
    if (socket.SendText(query) != static_cast<int>(query.size())) return {};
    const DWORD start = GetTickCount();
    bool first = true;
    int errorCode = -1;
    const std::string host = AwaitMxAnswer(
        query,
        [&](std::string& datagram) {
          if (!first) {
            const DWORD spent = GetTickCount() - start;
            if (spent >= seams.DnsTimeout) return false;
            socket.Timeout = seams.DnsTimeout - spent;
          }
          first = false;
          datagram = socket.ReadReply();  // raises "Socket timeout."
          return true;
        },
        errorCode);
    if (errorCode >= 0)
      Trace("ResolveMxHost: error answer", {server, static_cast<uint32_t>(errorCode)});
    return host;
  } catch (const EVantorSocketError& e) {
    Trace("ResolveMxHost: name server failed", {server, e.Message});
    return {};
  }
}

}  // namespace

std::vector<std::string> GetDnsServers() {
  Trace("GetDnsServers", {}, 2);
  std::vector<std::string> list;
  if (HMODULE library = LoadLibraryA("IPHLPAPI.DLL")) {
    auto proc = reinterpret_cast<GetNetworkParamsProc>(
        reinterpret_cast<void*>(GetProcAddress(library, "GetNetworkParams")));
    ULONG size = 0;
    if (proc != nullptr && proc(nullptr, &size) == ERROR_BUFFER_OVERFLOW && size > 0) {
      std::unique_ptr<unsigned char[]> buffer(new unsigned char[size]);
      auto* info = reinterpret_cast<PFIXED_INFO>(buffer.get());
      if (proc(info, &size) == ERROR_SUCCESS) {
        int count = 0;
        for (const IP_ADDR_STRING* entry = &info->DnsServerList; entry != nullptr && count < 64;
             entry = entry->Next, ++count) {
          const char* text = entry->IpAddress.String;
          size_t length = 0;
          while (length < sizeof entry->IpAddress.String && text[length] != '\0') ++length;
          AddServer(list, std::string(text, length));
        }
      }
    }
    FreeLibrary(library);
  }
  AddServer(list, FallbackNameServer);
  Trace("GetDnsServers=", {static_cast<uint32_t>(list.size())}, -2);
  return list;
}

std::string ResolveMxHost(const std::string& address) {
  Trace("ResolveMxHost", {address}, 2);
  const std::string domain = MailDomain(address);
  std::string host;
  if (!BuildMxQuery(domain, 0).empty()) {
    const TSeams& seams = Seams();
    const std::vector<std::string> servers =
        seams.NameServers ? seams.NameServers() : GetDnsServers();
    for (const std::string& server : servers) {
      host = AskNameServer(server, domain);
      if (!host.empty()) break;
    }
  }
  if (host.empty()) {
    Trace("ResolveMxHost=", {std::string()}, -2);
    throw EVantorSocketError(Format("Cannot resolve the \"%s\" MX record.", domain.c_str()));
  }
  Trace("ResolveMxHost=", {host}, -2);
  return host;
}

}  // namespace vl::delivery
