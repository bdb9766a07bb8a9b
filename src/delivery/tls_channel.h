// TLS on a connected stream socket, by the system's Schannel (SSPI), for the SMTP client.
//
// Nothing is loaded until the first handshake: secur32.dll gives the SSPI function table
// (InitSecurityInterfaceW) and crypt32.dll the certificate checks, so a program that never
// mails over TLS never maps either. The server's certificate is checked by us, not by Schannel
// (SCH_CRED_MANUAL_CRED_VALIDATION), because Schannels differ in what they check on their own:
// the chain must end in a root of the system store, be valid for server authentication, and
// name the host we connected to (the SSL chain policy with the host name). Revocation is not
// checked: a report must not wait on a revocation server.
//
// Every failure raises EVantorSocketError with a fixed text; the channel is then unusable and
// the caller closes the socket (nothing may go out in clear after a failed handshake).
#pragma once

#include <windows.h>
#include <winsock2.h>

#include <cstdint>
#include <memory>
#include <string>

namespace vl::delivery {

class TTlsChannel {
 public:
  // ServerName: the host as the user named it (sent as SNI and matched with the certificate).
  TTlsChannel(SOCKET socket, const std::string& serverName);
  // Frees the context and credentials; sends nothing.
  ~TTlsChannel();
  TTlsChannel(const TTlsChannel&) = delete;
  TTlsChannel& operator=(const TTlsChannel&) = delete;

  // The handshake within Timeout ms, then the certificate check. Raises:
  // "TLS is not available: \"%s\"" (secur32 or crypt32 missing), "TLS handshake failed: \"%s\""
  // (also "the server answered without TLS" when its first byte is no record type),
  // "TLS handshake timeout.", "The server closed the connection during the TLS handshake.",
  // "The server's certificate is not trusted: \"%s\"" (chain, root, usage, time),
  // "The server's certificate is not issued to \"<host>\"."
  void Handshake(uint32_t timeout);
  // Encrypts Length bytes in records of the negotiated size and sends them all; raises
  // "Error into \"send\": \"%s\"" or "TLS error: \"%s\"".
  void Send(const char* data, size_t length);
  // Up to Size bytes of plain text: what is already decrypted, else waits at most Wait ms for
  // more records. Returns the count, 0 when the peer closed (or ended TLS), -1 when nothing came
  // within Wait. Raises "Error into \"recv\": \"%s\"" or "TLS error: \"%s\"".
  int Receive(char* buffer, int size, uint32_t wait);
  // Plain text decrypted and not yet handed out.
  size_t Buffered() const;

 private:
  struct TState;
  std::unique_ptr<TState> State;
};

}  // namespace vl::delivery
