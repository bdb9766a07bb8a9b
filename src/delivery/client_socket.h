// A small blocking TCP/UDP client: connect, send text in pieces with progress, read one reply.
//
// Every failure raises EVantorSocketError with a fixed text (or, with SilentErrors, EAbort),
// after OnError has seen it. Every wait has a deadline: connecting and each reply are bounded by
// Timeout; an SMTP reply ends at the line end of its last line, a datagram is one reply. The
// transcript of the connection (its first line, what the SMTP layer sent, everything received)
// is the message of SMTP errors. After StartTls the same calls go through a TTlsChannel.
#pragma once

#include <windows.h>
#include <winsock2.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "runtime/exceptions.h"

namespace vl::delivery {

class EVantorSocketError : public Exception {
 public:
  using Exception::Exception;
};

class TTlsChannel;

class TVantorClientSocket {
 public:
  // Starts Winsock 1.1: a failure raises "Error into WSAStartup: \"%s\"".
  TVantorClientSocket(const std::string& host, uint16_t port, bool stream, uint32_t timeout);
  // Closes the connection and ends Winsock; never raises (failures are traced).
  virtual ~TVantorClientSocket();
  TVantorClientSocket(const TVantorClientSocket&) = delete;
  TVantorClientSocket& operator=(const TVantorClientSocket&) = delete;

  // Resolves Host (an unresolvable host raises "Connection error: \"%s\"" with the resolver's
  // text and nothing is connected; so does an address that names no single host, see
  // IsHostAddress: "Connection error: \"<host> is not the address of a host (a.b.c.d).\""),
  // creates the socket ("Invalid socket: \"%s\"."), connects
  // within Timeout ("Connection error: \"%s\""). Transcript := "Connected to a.b.c.d port N\r\n".
  virtual void Connect();
  // Closes the socket ("Cannot close the socket: \"%s\""), clears the transcript.
  virtual void Disconnect();
  // Starts TLS on the connected stream (TTlsChannel: handshake and the certificate's check for
  // ServerName within Timeout); from then on every byte sent and received goes through it.
  // Bytes the peer sent before the handshake are refused ("The server sent data before the TLS
  // handshake."), so that nothing said in clear is taken as said inside TLS. A failure closes
  // the connection and raises the channel's text. Transcript += "(TLS with <ServerName>)".
  void StartTls(const std::string& serverName);
  bool Secure() const { return Tls != nullptr; }

  // Sends all Length bytes; returns the count, 0 when not connected. A failure disconnects and
  // raises "Error into \"send\": \"%s\"".
  int SendBuffer(const void* data, int length);
  // Sends the text in pieces of 64 KiB, calling OnProgress after each; stops at the first
  // piece not sent whole. Returns the bytes sent (the text's length on success).
  int SendText(const std::string& text);
  // One recv; a failure disconnects and raises "Error into \"recv\": \"%s\"". 0 when not
  // connected.
  int Receive(void* buffer, int size);
  // One reply: for a stream, up to and including its last line (more than 64 KiB raises "The
  // reply is longer than 65536 bytes."; a reply whose last line does not come ends after
  // ReplySilence ms without data; the peer closing first ends it too, or raises
  // "Connection closed by the peer." when nothing came); for a datagram socket, one datagram.
  // Nothing within Timeout raises "Socket timeout.".
  std::string ReadReply();

  // Formats nothing: calls OnError (self, -1, message), then raises.
  [[noreturn]] void RaiseError(const std::string& message);

  std::string Host;
  uint16_t Port;
  uint32_t Timeout;
  bool Connected = false;
  bool SilentErrors = false;
  std::string Transcript;
  std::function<void(TVantorClientSocket* sender, int code, const std::string& message)> OnError;
  std::function<void(TVantorClientSocket* sender, int64_t sent, int64_t total)> OnProgress;

 protected:
  bool Stream;
  SOCKET Socket = INVALID_SOCKET;
  sockaddr_in Peer{};
  WSADATA WsaData{};
  std::string Pending;  // received after the end of the last reply
  std::unique_ptr<TTlsChannel> Tls;

 private:
  void ResetPeer();
  void CloseQuietly();
  // Up to Size bytes within Wait ms: the count, 0 when the peer closed, -1 for nothing.
  int ReceiveWithin(char* buffer, int size, uint32_t wait);
};

// False for the addresses that name no single remote host, whatever resolved to them:
// 0.0.0.0/8 ("this network": Wine connects 0.0.0.0 to the local machine), multicast
// 224.0.0.0/4 and the reserved 240.0.0.0/4 with the broadcast 255.255.255.255. Network byte
// order.
bool IsHostAddress(uint32_t address);

// The address Connect would reach for Host, checked as Connect checks it (the seams' resolver or
// the system's, then IsHostAddress, then the seams' ConnectCheck): for a client that connects
// by itself (the upload's WinHTTP) but must go only where a socket may. Raises
// EVantorSocketError ("Connection error: ...") when Host does not resolve or is refused.
uint32_t CheckedHostAddress(const std::string& host);

// The system's message text for a Winsock or system error code.
std::string SocketErrorText(int code);

}  // namespace vl::delivery
