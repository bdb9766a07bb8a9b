#include "delivery/mx_lookup.h"

#include <iphlpapi.h>
#include <windows.h>
#include <winsock2.h>

#include <memory>

#include "core/trace.h"
#include "delivery/address_list.h"
#include "delivery/client_socket.h"
#include "delivery/dns_packet.h"
#include "delivery/socket_seams.h"

namespace vl::delivery {

const char* const FallbackNameServer = "9.9.9.9";

namespace {

void AddServer(std::vector<std::string>& list, const std::string& server) {
  if (TrimText(server) != "0.0.0.0") list.push_back(server);
}

using GetNetworkParamsProc = DWORD(WINAPI*)(PFIXED_INFO, PULONG);

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
  const std::string query = BuildMxQuery(domain);
  std::string host;
  if (!query.empty()) {
    const SocketSeams& seams = Seams();
    const std::vector<std::string> servers =
        seams.NameServers ? seams.NameServers() : GetDnsServers();
    for (const std::string& server : servers) {
      TVantorClientSocket socket(server, seams.DnsPort, false, seams.DnsTimeout);
      socket.Connect();
      if (socket.SendText(query) != static_cast<int>(query.size())) continue;
      const DWORD start = GetTickCount();
      for (;;) {
        const std::string answer = socket.ReadReply();  // raises "Socket timeout."
        if (IsMxAnswer(answer)) {
          host = ParseMxAnswer(answer);
          break;
        }
        const DWORD spent = GetTickCount() - start;
        if (spent >= seams.DnsTimeout) socket.RaiseError("Socket timeout.");
        socket.Timeout = seams.DnsTimeout - spent;
      }
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
