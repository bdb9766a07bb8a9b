// Finding a recipient domain's mail exchanger: one MX question over UDP to each name server in
// turn until one names an exchanger.
#pragma once

#include <string>
#include <vector>

namespace vl::delivery {

// Asked after the system's name servers: Quad9's public resolver.
extern const char* const FallbackNameServer;  // "9.9.9.9"

// The system's name servers (IP Helper's GetNetworkParams, loaded at run time, when present),
// then FallbackNameServer; entries that are not dotted host addresses (IsHostAddress: "0.0.0.0",
// broadcast, multicast, names) are left out, and so is a second entry for the same address.
// Sends nothing.
std::vector<std::string> GetDnsServers();

// The exchanger of the domain after the address's first "@" (the whole address without one).
// Each name server in turn gets its own query with a random id. A server's error answer
// (RCODE not 0), its time-out, its socket error or an answer without a usable MX record moves
// on to the next server (the fallback last). Datagrams that are not the answer to the query
// (see ClassifyMxAnswer) are ignored and the wait goes on. A domain that cannot be asked for,
// or no server naming an exchanger, raises EVantorSocketError "Cannot resolve the \"%s\" MX
// record.". The exchanger is a host name, never an address literal.
std::string ResolveMxHost(const std::string& address);

}  // namespace vl::delivery
