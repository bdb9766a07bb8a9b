#include "delivery/client_socket.h"

#include <cstdio>

#include "core/trace.h"
#include "delivery/smtp_reply.h"
#include "delivery/socket_seams.h"
#include "delivery/tls_channel.h"
#include "runtime/system.h"

namespace vl::delivery {
namespace {

// The data goes out in pieces this large: few enough send calls (each one costs a trip through
// Wine's server), and progress still moves in about 1.5% steps of a 4 MiB message.
const int kPiece = 65536;

// Milliseconds left until Deadline (a GetTickCount value), 0 once it has passed.
DWORD Remaining(DWORD start, DWORD limit) {
  const DWORD spent = GetTickCount() - start;
  return spent >= limit ? 0 : limit - spent;
}

// Waits up to Ms for the socket to become readable (or writable); true when it did.
bool WaitFor(SOCKET s, DWORD ms, bool write) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  fd_set errors;
  FD_ZERO(&errors);
  FD_SET(s, &errors);
  timeval tv;
  tv.tv_sec = static_cast<long>(ms / 1000);
  tv.tv_usec = static_cast<long>(ms % 1000) * 1000;
  const int n =
      write ? select(0, nullptr, &set, &errors, &tv) : select(0, &set, nullptr, nullptr, &tv);
  return n > 0 && FD_ISSET(s, &set);
}

int DefaultResolve(const std::string& host, uint32_t& address) {
  const unsigned long dotted = inet_addr(host.c_str());
  if (dotted != INADDR_NONE || host == "255.255.255.255") {
    address = static_cast<uint32_t>(dotted);
    return 0;
  }
  if (host.empty()) return WSAHOST_NOT_FOUND;
  const hostent* entry = gethostbyname(host.c_str());
  if (entry == nullptr) return WSAGetLastError() != 0 ? WSAGetLastError() : WSAHOST_NOT_FOUND;
  if (entry->h_addrtype != AF_INET || entry->h_length != 4 || entry->h_addr_list[0] == nullptr)
    return WSANO_DATA;
  // The first address that names a host: a hosts file that sends a name to 0.0.0.0 beside its
  // real address must not make the real one unreachable. None: the first, which Connect refuses.
  memcpy(&address, entry->h_addr_list[0], 4);
  for (int i = 0; entry->h_addr_list[i] != nullptr && i < 64; ++i) {
    uint32_t candidate = 0;
    memcpy(&candidate, entry->h_addr_list[i], 4);
    if (IsHostAddress(candidate)) {
      address = candidate;
      break;
    }
  }
  return 0;
}

}  // namespace

bool IsHostAddress(uint32_t address) {
  // The first byte in memory is the first number of the dotted form.
  const unsigned first = reinterpret_cast<const unsigned char*>(&address)[0];
  return first != 0 && first < 224;
}

uint32_t CheckedHostAddress(const std::string& host) {
  WSADATA data;
  const int started = WSAStartup(0x0101, &data);
  if (started != 0)
    throw EVantorSocketError(
        Format("Error into WSAStartup: \"%s\"", SocketErrorText(started).c_str()));
  const TSeams& seams = Seams();
  uint32_t address = 0;
  const int resolved =
      seams.ResolveHost ? seams.ResolveHost(host, address) : DefaultResolve(host, address);
  WSACleanup();
  if (resolved != 0)
    throw EVantorSocketError(Format("Connection error: \"%s\"", SocketErrorText(resolved).c_str()));
  const auto* a = reinterpret_cast<const unsigned char*>(&address);
  if (!IsHostAddress(address))
    throw EVantorSocketError(
        Format("Connection error: \"%s is not the address of a host (%d.%d.%d.%d).\"", host.c_str(),
               a[0], a[1], a[2], a[3]));
  if (seams.ConnectCheck && !seams.ConnectCheck(address))
    throw EVantorSocketError(
        Format("Connection error: \"%s\"", SocketErrorText(WSAEACCES).c_str()));
  return address;
}

std::string SocketErrorText(int code) { return rtl::SysErrorMessage(static_cast<DWORD>(code)); }

TVantorClientSocket::TVantorClientSocket(const std::string& host, uint16_t port, bool stream,
                                         uint32_t timeout)
    : Host(host), Port(port), Timeout(timeout), Stream(stream) {
  Trace("TVantorClientSocket.Create", {host, static_cast<uint32_t>(port), stream, timeout}, 2);
  const int result = WSAStartup(0x0101, &WsaData);
  if (result != 0) {
    Trace("TVantorClientSocket.Create=", {result}, -2);
    throw EVantorSocketError(
        Format("Error into WSAStartup: \"%s\"", SocketErrorText(result).c_str()));
  }
  ResetPeer();
  Trace("TVantorClientSocket.Create=", {}, -2);
}

TVantorClientSocket::~TVantorClientSocket() {
  Trace("TVantorClientSocket.Destroy", {}, 2);
  if (Connected) {
    try {
      Disconnect();
    } catch (const std::exception& e) {
      Trace("TVantorClientSocket.Destroy: close failed", {std::string(e.what())});
      CloseQuietly();
    } catch (...) {
      CloseQuietly();
    }
  } else {
    CloseQuietly();
  }
  if (WSACleanup() != 0)
    Trace("TVantorClientSocket.Destroy: WSACleanup failed", {WSAGetLastError()});
  Trace("TVantorClientSocket.Destroy=", {}, -2);
}

void TVantorClientSocket::ResetPeer() {
  Peer = sockaddr_in{};
  Peer.sin_family = AF_INET;
}

void TVantorClientSocket::CloseQuietly() {
  Tls.reset();
  if (Socket != INVALID_SOCKET) closesocket(Socket);
  Socket = INVALID_SOCKET;
  Connected = false;
}

void TVantorClientSocket::RaiseError(const std::string& message) {
  Trace("TVantorClientSocket.RaiseError", {message});
  if (OnError) OnError(this, -1, message);
  if (SilentErrors) throw EAbort();
  throw EVantorSocketError(message);
}

void TVantorClientSocket::Connect() {
  if (Connected) return;
  Trace("TVantorClientSocket.Connect", {Host, static_cast<uint32_t>(Port)}, 2);
  const TSeams& seams = Seams();
  uint32_t address = 0;
  const int resolved =
      seams.ResolveHost ? seams.ResolveHost(Host, address) : DefaultResolve(Host, address);
  if (resolved != 0)
    RaiseError(Format("Connection error: \"%s\"", SocketErrorText(resolved).c_str()));
  // Checked here, before any socket exists, whichever resolver answered: a literal, a hosts-file
  // entry or a seam.
  if (!IsHostAddress(address)) {
    const auto* a = reinterpret_cast<const unsigned char*>(&address);
    RaiseError(Format("Connection error: \"%s is not the address of a host (%d.%d.%d.%d).\"",
                      Host.c_str(), a[0], a[1], a[2], a[3]));
  }

  Socket = socket(AF_INET, Stream ? SOCK_STREAM : SOCK_DGRAM, 0);
  if (Socket == INVALID_SOCKET)
    RaiseError(Format("Invalid socket: \"%s\".", SocketErrorText(WSAGetLastError()).c_str()));
  Peer.sin_family = AF_INET;
  Peer.sin_addr.s_addr = address;
  Peer.sin_port = htons(Port);
  Pending.clear();

  int error = 0;
  if (seams.ConnectCheck && !seams.ConnectCheck(address)) error = WSAEACCES;
  if (error == 0 && Stream) {
    // Connect without blocking, so that an unreachable peer costs at most Timeout.
    u_long on = 1;
    ioctlsocket(Socket, FIONBIO, &on);
    if (connect(Socket, reinterpret_cast<const sockaddr*>(&Peer), sizeof Peer) != 0) {
      error = WSAGetLastError();
      if (error == WSAEWOULDBLOCK) {
        error = 0;
        if (!WaitFor(Socket, Timeout, true)) {
          int soError = 0;
          int size = sizeof soError;
          getsockopt(Socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &size);
          error = soError != 0 ? soError : WSAETIMEDOUT;
        }
      }
    }
    u_long off = 0;
    ioctlsocket(Socket, FIONBIO, &off);
    if (error == 0) {
      BOOL noDelay = TRUE;
      setsockopt(Socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                 sizeof noDelay);
      const DWORD sendTimeout = Timeout;
      setsockopt(Socket, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendTimeout),
                 sizeof sendTimeout);
    }
  } else if (error == 0) {
    if (connect(Socket, reinterpret_cast<const sockaddr*>(&Peer), sizeof Peer) != 0)
      error = WSAGetLastError();
  }
  if (error != 0) {
    CloseQuietly();
    ResetPeer();
    RaiseError(Format("Connection error: \"%s\"", SocketErrorText(error).c_str()));
  }
  Connected = true;
  const auto* b = reinterpret_cast<const unsigned char*>(&Peer.sin_addr.s_addr);
  Transcript = Format("Connected to %d.%d.%d.%d port %d\r\n", b[0], b[1], b[2], b[3], Port);
  Trace("TVantorClientSocket.Connect=", {}, -2);
}

void TVantorClientSocket::Disconnect() {
  Trace("TVantorClientSocket.Disconnect", {}, 2);
  Tls.reset();
  if (Socket != INVALID_SOCKET && closesocket(Socket) != 0) {
    const int error = WSAGetLastError();
    Socket = INVALID_SOCKET;
    Connected = false;
    ResetPeer();
    RaiseError(Format("Cannot close the socket: \"%s\"", SocketErrorText(error).c_str()));
  }
  Socket = INVALID_SOCKET;
  ResetPeer();
  Connected = false;
  Transcript.clear();
  Pending.clear();
  Trace("TVantorClientSocket.Disconnect=", {}, -2);
}

void TVantorClientSocket::StartTls(const std::string& serverName) {
  Trace("TVantorClientSocket.StartTls", {serverName}, 2);
  if (!Connected || !Stream) RaiseError("Not connected.");
  if (!Pending.empty()) {
    CloseQuietly();
    RaiseError("The server sent data before the TLS handshake.");
  }
  std::string failure;
  try {
    std::unique_ptr<TTlsChannel> channel(new TTlsChannel(Socket, serverName));
    channel->Handshake(Timeout);
    Tls = std::move(channel);
  } catch (const Exception& e) {
    failure = e.Message;
  }
  if (!Tls) {
    CloseQuietly();
    RaiseError(failure);
  }
  Transcript += "(TLS with " + serverName + ")\r\n";
  Trace("TVantorClientSocket.StartTls=", {}, -2);
}

int TVantorClientSocket::SendBuffer(const void* data, int length) {
  if (!Connected) return 0;
  const char* p = static_cast<const char*>(data);
  if (Tls) {
    std::string failure;
    try {
      Tls->Send(p, static_cast<size_t>(length));
      return length;
    } catch (const Exception& e) {
      failure = e.Message;
    }
    CloseQuietly();
    RaiseError(failure);
  }
  int sent = 0;
  while (sent < length) {
    const int n = send(Socket, p + sent, length - sent, 0);
    if (n == SOCKET_ERROR || n == 0) {
      const int error = n == 0 ? 0 : WSAGetLastError();
      if (error == WSAEWOULDBLOCK) return sent > 0 ? sent : -1;
      Disconnect();
      if (error != 0)
        RaiseError(Format("Error into \"send\": \"%s\"", SocketErrorText(error).c_str()));
      return sent > 0 ? sent : -1;
    }
    sent += n;
  }
  return sent;
}

int TVantorClientSocket::SendText(const std::string& text) {
  const int total = static_cast<int>(text.size());
  int sent = 0;
  for (int at = 0; at < total; at += kPiece) {
    const int piece = total - at < kPiece ? total - at : kPiece;
    const int n = SendBuffer(text.data() + at, piece);
    if (n > 0) sent += n;
    if (OnProgress) OnProgress(this, at + (n > 0 ? n : 0), total);
    if (n != piece) break;
  }
  return sent;
}

int TVantorClientSocket::Receive(void* buffer, int size) {
  if (!Connected) return 0;
  if (Tls) {
    const int n = ReceiveWithin(static_cast<char*>(buffer), size, 0);
    return n < 0 ? 0 : n;
  }
  const int n = recv(Socket, static_cast<char*>(buffer), size, 0);
  if (n == SOCKET_ERROR) {
    const int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) return 0;
    Disconnect();
    if (error != 0)
      RaiseError(Format("Error into \"recv\": \"%s\"", SocketErrorText(error).c_str()));
    return 0;
  }
  return n;
}

int TVantorClientSocket::ReceiveWithin(char* buffer, int size, uint32_t wait) {
  if (!Tls) {
    if (!WaitFor(Socket, wait, false)) return -1;
    return Receive(buffer, size);
  }
  std::string failure;
  try {
    return Tls->Receive(buffer, size, wait);
  } catch (const Exception& e) {
    failure = e.Message;
  }
  CloseQuietly();
  RaiseError(failure);
}

std::string TVantorClientSocket::ReadReply() {
  Trace("TVantorClientSocket.ReadReply", {}, 2);
  const DWORD start = GetTickCount();
  std::string reply;
  if (!Stream) {
    // One datagram is one answer.
    if (Connected && WaitFor(Socket, Remaining(start, Timeout), false)) {
      std::string datagram(65536, '\0');
      const int n = Receive(&datagram[0], static_cast<int>(datagram.size()));
      if (n > 0) reply.assign(datagram, 0, static_cast<size_t>(n));
      Transcript += reply;
    }
  } else {
    SmtpReplyScanner scanner;
    std::string held;
    std::swap(held, Pending);
    scanner.Append(held);
    bool closed = false;
    while (Connected && !scanner.Complete() && !scanner.Overflow()) {
      DWORD wait = Remaining(start, Timeout);
      if (!scanner.Received().empty() && wait > Seams().ReplySilence) wait = Seams().ReplySilence;
      if (wait == 0 && !(Tls && Tls->Buffered() > 0)) break;  // time-out
      char buffer[4096];
      const int n = ReceiveWithin(buffer, sizeof buffer, wait);
      if (n < 0) break;  // time-out or silence
      if (n == 0) {
        closed = true;
        break;
      }
      Transcript.append(buffer, static_cast<size_t>(n));
      scanner.Append(std::string_view(buffer, static_cast<size_t>(n)));
    }
    if (scanner.Overflow()) RaiseError("The reply is longer than 65536 bytes.");
    if (scanner.Complete()) {
      reply = scanner.Received().substr(0, scanner.Length());
      Pending = scanner.Received().substr(scanner.Length());
    } else {
      reply = scanner.Received();
    }
    if (reply.empty() && closed) RaiseError("Connection closed by the peer.");
  }
  if (reply.empty()) RaiseError("Socket timeout.");
  Trace("TVantorClientSocket.ReadReply=", {reply}, -2);
  return reply;
}

}  // namespace vl::delivery
