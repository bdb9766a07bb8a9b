#include "delivery/tls_channel.h"

#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstring>

#include "core/trace.h"
#include "delivery/client_socket.h"
#include "runtime/system.h"

namespace vl::delivery {
namespace {

// Schannel's functions and the certificate checks, loaded on the first handshake and kept for
// the process (a second mail must not load them again).
struct TlsApi {
  PSecurityFunctionTableW Sspi = nullptr;
  decltype(&CertGetCertificateChain) GetChain = nullptr;
  decltype(&CertVerifyCertificateChainPolicy) VerifyPolicy = nullptr;
  decltype(&CertFreeCertificateChain) FreeChain = nullptr;
  decltype(&CertFreeCertificateContext) FreeCertificate = nullptr;
  std::string Missing;  // what could not be loaded; empty when everything was
};

template <typename Proc>
void Bind(HMODULE library, const char* name, Proc& proc, std::string& missing) {
  proc = library ? reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(library, name)))
                 : nullptr;
  if (!proc && missing.empty()) missing = name;
}

const TlsApi& Api() {
  static const TlsApi api = [] {
    TlsApi a;
    HMODULE secur32 = LoadLibraryA("secur32.dll");
    INIT_SECURITY_INTERFACE_W init = nullptr;
    Bind(secur32, "InitSecurityInterfaceW", init, a.Missing);
    if (init) a.Sspi = init();
    if (!a.Sspi && a.Missing.empty()) a.Missing = "InitSecurityInterfaceW";
    HMODULE crypt32 = LoadLibraryA("crypt32.dll");
    Bind(crypt32, "CertGetCertificateChain", a.GetChain, a.Missing);
    Bind(crypt32, "CertVerifyCertificateChainPolicy", a.VerifyPolicy, a.Missing);
    Bind(crypt32, "CertFreeCertificateChain", a.FreeChain, a.Missing);
    Bind(crypt32, "CertFreeCertificateContext", a.FreeCertificate, a.Missing);
    return a;
  }();
  return api;
}

[[noreturn]] void Fail(const std::string& message) { throw EVantorSocketError(message); }

// The system's text of a security status, with its number (Wine has no text for most).
std::string StatusText(long status) {
  const std::string text = rtl::SysErrorMessage(static_cast<DWORD>(status));
  const std::string number = Format("0x%08X", static_cast<unsigned>(status));
  return text.empty() ? number : text + " (" + number + ")";
}

DWORD Remaining(DWORD start, DWORD limit) {
  const DWORD spent = GetTickCount() - start;
  return spent >= limit ? 0 : limit - spent;
}

bool WaitReadable(SOCKET s, DWORD ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval tv;
  tv.tv_sec = static_cast<long>(ms / 1000);
  tv.tv_usec = static_cast<long>(ms % 1000) * 1000;
  return select(0, &set, nullptr, nullptr, &tv) > 0 && FD_ISSET(s, &set);
}

void SendAll(SOCKET s, const char* data, size_t length) {
  while (length > 0) {
    const int piece = static_cast<int>(std::min<size_t>(length, 1 << 20));
    const int n = send(s, data, piece, 0);
    if (n == SOCKET_ERROR || n == 0)
      Fail(Format("Error into \"send\": \"%s\"",
                  SocketErrorText(n == 0 ? WSAECONNRESET : WSAGetLastError()).c_str()));
    data += n;
    length -= static_cast<size_t>(n);
  }
}

// Appends what one recv gives; 0 when the peer closed.
int ReceiveSome(SOCKET s, std::string& into) {
  char buffer[16384];
  const int n = recv(s, buffer, sizeof buffer, 0);
  if (n == SOCKET_ERROR)
    Fail(Format("Error into \"recv\": \"%s\"", SocketErrorText(WSAGetLastError()).c_str()));
  into.append(buffer, static_cast<size_t>(n));
  return n;
}

// Why a chain is not to be trusted, in words; empty when it is. Revocation is not asked for,
// so its status does not count.
std::string ChainFailure(DWORD status) {
  static const struct {
    DWORD Flag;
    const char* Text;
  } reasons[] = {
      {CERT_TRUST_IS_PARTIAL_CHAIN, "its issuer is unknown"},
      {CERT_TRUST_IS_UNTRUSTED_ROOT, "its root is not trusted"},
      {CERT_TRUST_IS_NOT_TIME_VALID, "it is expired or not yet valid"},
      {CERT_TRUST_IS_NOT_VALID_FOR_USAGE, "it is not for server authentication"},
      {CERT_TRUST_IS_NOT_SIGNATURE_VALID, "a signature does not match"},
      {CERT_TRUST_IS_REVOKED, "it is revoked"},
  };
  for (const auto& r : reasons)
    if (status & r.Flag) return r.Text;
  status &= ~(CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION);
  return status == 0 ? std::string() : Format("chain error 0x%08X", static_cast<unsigned>(status));
}

std::wstring Wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int n =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
  return wide;
}

}  // namespace

struct TTlsChannel::TState {
  SOCKET Socket = INVALID_SOCKET;
  std::string Host;
  std::wstring Name;
  CredHandle Credentials{};
  bool HaveCredentials = false;
  CtxtHandle Context{};
  bool HaveContext = false;
  SecPkgContext_StreamSizes Sizes{};
  uint32_t Timeout = 30000;
  std::string In;           // received records not yet decrypted
  bool Incomplete = false;  // In ends in a part of a record: receive before decrypting again
  std::string Plain;        // decrypted, from PlainAt on not yet handed out
  size_t PlainAt = 0;
  bool Closed = false;

  void Negotiate();
  void CheckCertificate();
  void Decrypt();
};

TTlsChannel::TTlsChannel(SOCKET socket, const std::string& serverName) : State(new TState) {
  State->Socket = socket;
  State->Host = serverName;
  State->Name = Wide(serverName);
}

TTlsChannel::~TTlsChannel() {
  if (State->HaveContext) Api().Sspi->DeleteSecurityContext(&State->Context);
  if (State->HaveCredentials) Api().Sspi->FreeCredentialsHandle(&State->Credentials);
}

size_t TTlsChannel::Buffered() const { return State->Plain.size() - State->PlainAt; }

void TTlsChannel::Handshake(uint32_t timeout) {
  Trace("TTlsChannel.Handshake", {State->Host, timeout}, 2);
  const TlsApi& api = Api();
  if (!api.Missing.empty())
    Fail(Format("TLS is not available: \"%s\"", ("no " + api.Missing).c_str()));
  TState& st = *State;
  st.Timeout = timeout;
  SCHANNEL_CRED credentials{};
  credentials.dwVersion = SCHANNEL_CRED_VERSION;
  // The protocols are the system's choice; the certificate is checked by CheckCertificate.
  credentials.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
  TimeStamp expiry;
  const SECURITY_STATUS status = api.Sspi->AcquireCredentialsHandleW(
      nullptr, const_cast<SEC_WCHAR*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr, &credentials,
      nullptr, nullptr, &st.Credentials, &expiry);
  if (status != SEC_E_OK) Fail(Format("TLS handshake failed: \"%s\"", StatusText(status).c_str()));
  st.HaveCredentials = true;
  st.Negotiate();
  st.CheckCertificate();
  const SECURITY_STATUS sized =
      api.Sspi->QueryContextAttributesW(&st.Context, SECPKG_ATTR_STREAM_SIZES, &st.Sizes);
  if (sized != SEC_E_OK || st.Sizes.cbMaximumMessage == 0)
    Fail(Format("TLS handshake failed: \"%s\"", StatusText(sized).c_str()));
  Trace("TTlsChannel.Handshake=", {}, -2);
}

void TTlsChannel::TState::Negotiate() {
  const TlsApi& api = Api();
  const ULONG wanted = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                       ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                       ISC_REQ_MANUAL_CRED_VALIDATION;
  const DWORD start = GetTickCount();
  // A renegotiation (a TLS 1.3 message after the handshake) starts from the records held.
  bool first = !HaveContext;
  bool receive = false;
  bool withoutCertificate = false;
  for (;;) {
    if (!first && (In.empty() || receive)) {
      const DWORD wait = Remaining(start, Timeout);
      if (wait == 0 || !WaitReadable(Socket, wait)) Fail("TLS handshake timeout.");
      if (ReceiveSome(Socket, In) == 0)
        Fail("The server closed the connection during the TLS handshake.");
      // Every TLS record starts with its content type, 20 to 24: anything else is a server
      // that talks in clear here (a greeting on a port thought to be implicit TLS), and would
      // otherwise be waited on as a record of its first bytes' length.
      const unsigned char type = static_cast<unsigned char>(In[0]);
      if (type < 20 || type > 24) Fail("TLS handshake failed: \"the server answered without TLS\"");
    }
    SecBuffer in[2] = {{static_cast<ULONG>(In.size()), SECBUFFER_TOKEN, &In[0]},
                       {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inDesc = {SECBUFFER_VERSION, 2, in};
    SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
    SecBufferDesc outDesc = {SECBUFFER_VERSION, 1, out};
    ULONG granted = 0;
    const SECURITY_STATUS status = api.Sspi->InitializeSecurityContextW(
        &Credentials, first ? nullptr : &Context, &Name[0], wanted, 0, 0, first ? nullptr : &inDesc,
        0, &Context, &outDesc, &granted, nullptr);
    if (first && status >= 0) HaveContext = true;
    const bool hadInput = !first;
    first = false;
    if (out[0].cbBuffer != 0 && out[0].pvBuffer != nullptr) {
      // The next handshake message, or the alert of a failed one (its failure is the one told).
      std::string token(static_cast<const char*>(out[0].pvBuffer), out[0].cbBuffer);
      api.Sspi->FreeContextBuffer(out[0].pvBuffer);
      try {
        SendAll(Socket, token.data(), token.size());
      } catch (const EVantorSocketError&) {
        if (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED) throw;
      }
    }
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
      receive = true;
      continue;
    }
    if (status == SEC_I_INCOMPLETE_CREDENTIALS && !withoutCertificate) {
      // The server asks for a client certificate; we have none: the same input again goes on
      // without one (Wine's Schannel never asks this, Windows' does).
      withoutCertificate = true;
      continue;
    }
    receive = false;
    if (hadInput) {
      if (in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer > 0 && in[1].cbBuffer <= In.size())
        In.erase(0, In.size() - in[1].cbBuffer);
      else
        In.clear();
    }
    if (status == SEC_E_OK) return;
    if (status != SEC_I_CONTINUE_NEEDED)
      Fail(Format("TLS handshake failed: \"%s\"", StatusText(status).c_str()));
  }
}

void TTlsChannel::TState::CheckCertificate() {
  const TlsApi& api = Api();
  PCCERT_CONTEXT certificate = nullptr;
  if (api.Sspi->QueryContextAttributesW(&Context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) !=
          SEC_E_OK ||
      certificate == nullptr)
    Fail("The server's certificate is not trusted: \"the server sent none\"");
  LPSTR usages[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof para;
  para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  para.RequestedUsage.Usage.cUsageIdentifier = 1;
  para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  // The server's intermediate certificates come in the certificate's own store.
  const BOOL built = api.GetChain(nullptr, certificate, nullptr, certificate->hCertStore, &para, 0,
                                  nullptr, &chain);
  DWORD error = built ? 0 : GetLastError();
  std::string reason;
  if (built) {
    // The chain's own verdict first: Wine's SSL policy lets an incomplete chain pass.
    reason = ChainFailure(chain->TrustStatus.dwErrorStatus);
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = &Name[0];
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS verdict{};
    verdict.cbSize = sizeof verdict;
    if (!api.VerifyPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &verdict))
      error = GetLastError();
    else
      error = verdict.dwError;
    api.FreeChain(chain);
  }
  api.FreeCertificate(certificate);
  Trace("TTlsChannel.CheckCertificate", {Host, static_cast<uint32_t>(error)});
  if (!reason.empty())
    Fail(Format("The server's certificate is not trusted: \"%s\"", reason.c_str()));
  if (error == static_cast<DWORD>(CERT_E_CN_NO_MATCH))
    Fail(Format("The server's certificate is not issued to \"%s\".", Host.c_str()));
  if (error != 0)
    Fail(Format("The server's certificate is not trusted: \"%s\"", StatusText(error).c_str()));
}

void TTlsChannel::Send(const char* data, size_t length) {
  const TlsApi& api = Api();
  TState& st = *State;
  const size_t header = st.Sizes.cbHeader, trailer = st.Sizes.cbTrailer;
  std::string record;
  while (length > 0) {
    const size_t piece = std::min<size_t>(length, st.Sizes.cbMaximumMessage);
    record.resize(header + piece + trailer);
    memcpy(&record[header], data, piece);
    SecBuffer buffers[4] = {
        {static_cast<ULONG>(header), SECBUFFER_STREAM_HEADER, &record[0]},
        {static_cast<ULONG>(piece), SECBUFFER_DATA, &record[header]},
        {static_cast<ULONG>(trailer), SECBUFFER_STREAM_TRAILER, &record[header + piece]},
        {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
    const SECURITY_STATUS status = api.Sspi->EncryptMessage(&st.Context, 0, &desc, 0);
    if (status != SEC_E_OK) Fail(Format("TLS error: \"%s\"", StatusText(status).c_str()));
    // Header, data and trailer lie one after the other; the trailer may be shorter than its room.
    SendAll(st.Socket, record.data(),
            buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
    data += piece;
    length -= piece;
  }
}

void TTlsChannel::TState::Decrypt() {
  SecBuffer buffers[4] = {{static_cast<ULONG>(In.size()), SECBUFFER_DATA, &In[0]},
                          {0, SECBUFFER_EMPTY, nullptr},
                          {0, SECBUFFER_EMPTY, nullptr},
                          {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
  const SECURITY_STATUS status = Api().Sspi->DecryptMessage(&Context, &desc, 0, nullptr);
  if (status == SEC_E_INCOMPLETE_MESSAGE) {
    Incomplete = true;
    return;
  }
  if (status == SEC_I_CONTEXT_EXPIRED) {  // the peer ended TLS (close_notify)
    Closed = true;
    In.clear();
    return;
  }
  if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE)
    Fail(Format("TLS error: \"%s\"", StatusText(status).c_str()));
  if (PlainAt == Plain.size()) {
    Plain.clear();
    PlainAt = 0;
  }
  size_t extra = 0;
  for (const SecBuffer& b : buffers) {
    if (b.BufferType == SECBUFFER_DATA && b.cbBuffer > 0 && b.pvBuffer != nullptr)
      Plain.append(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
    if (b.BufferType == SECBUFFER_EXTRA && b.cbBuffer <= In.size()) extra = b.cbBuffer;
  }
  // The records after the one decrypted are the last bytes of In.
  In.erase(0, In.size() - extra);
  if (status == SEC_I_RENEGOTIATE) Negotiate();
}

int TTlsChannel::Receive(char* buffer, int size, uint32_t wait) {
  TState& st = *State;
  const DWORD start = GetTickCount();
  for (;;) {
    if (st.PlainAt < st.Plain.size()) {
      const size_t n = std::min<size_t>(static_cast<size_t>(size), st.Plain.size() - st.PlainAt);
      memcpy(buffer, st.Plain.data() + st.PlainAt, n);
      st.PlainAt += n;
      return static_cast<int>(n);
    }
    if (st.Closed) return 0;
    if (!st.In.empty() && !st.Incomplete) {
      st.Decrypt();
      continue;
    }
    const DWORD left = Remaining(start, wait);
    if (left == 0 || !WaitReadable(st.Socket, left)) return -1;
    if (ReceiveSome(st.Socket, st.In) == 0) st.Closed = true;
    st.Incomplete = false;
  }
}

}  // namespace vl::delivery
