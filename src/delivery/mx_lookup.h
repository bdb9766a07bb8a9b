// Finding a recipient domain's mail exchanger: one MX question over UDP to each name server in
// turn until one names an exchanger.
#pragma once

#include <string>
#include <vector>

namespace vl::delivery {

// Asked after the system's name servers: Quad9's public resolver.
extern const char* const FallbackNameServer;  // "9.9.9.9"

// The system's name servers (IP Helper's GetNetworkParams, loaded at run time, when present),
// then FallbackNameServer; entries that read "0.0.0.0" are left out. Sends nothing.
std::vector<std::string> GetDnsServers();

// The exchanger of the domain after the address's first "@" (the whole address without one).
// A domain that cannot be asked for, or no server naming an exchanger, raises
// EVantorSocketError "Cannot resolve the \"%s\" MX record."; a name server's socket error or
// time-out raises that error and ends the look-up. Answers that do not carry the query's id
// and the response flag are ignored (the wait for the real one goes on).
std::string ResolveMxHost(const std::string& address);

}  // namespace vl::delivery
