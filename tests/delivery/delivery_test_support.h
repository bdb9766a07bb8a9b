// Shared by the mail-client and send-step tests: the loopback-only seams, the peers' folder,
// registry and file helpers, and what the stand-in mail programs logged.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <winsock2.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "delivery/socket_seams.h"
#include "support/peers.h"
#include "support/win_process.h"

using namespace vl;

namespace deliverytest {

using testsupport::Env;
using testsupport::Hex;
using testsupport::PeerDir;

// The port of the peer that the variable Name names.
inline uint16_t PortOf(const char* name) {
  const std::string value = Env(name);
  if (value.empty()) ADD_FAILURE() << name << " is not set: run through run-with-peers.sh";
  return static_cast<uint16_t>(std::atoi(value.c_str()));
}
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

// Sets (Value non-null) or deletes a string value, creating the key.
inline void SetRegistryText(HKEY root, const std::string& key, const char* name,
                            const char* value) {
  HKEY opened = nullptr;
  ASSERT_EQ(
      RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr),
      ERROR_SUCCESS)
      << key;
  if (value)
    RegSetValueExA(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                   static_cast<DWORD>(strlen(value) + 1));
  else
    RegDeleteValueA(opened, name);
  RegCloseKey(opened);
}

// One registry value, put back as it was when the test program ends.
class SavedRegistryText {
 public:
  SavedRegistryText(HKEY root, std::string key, std::string name)
      : root_(root), key_(std::move(key)), name_(std::move(name)) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root_, key_.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return;
    char value[2048] = {};
    DWORD size = sizeof value - 1;
    existed_ = RegQueryValueExA(opened, name_.c_str(), nullptr, nullptr,
                                reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS;
    value_ = value;
    RegCloseKey(opened);
  }
  ~SavedRegistryText() {
    SetRegistryText(root_, key_, name_.c_str(), existed_ ? value_.c_str() : nullptr);
  }

 private:
  HKEY root_;
  std::string key_, name_, value_;
  bool existed_ = false;
};

// Points the socket client at the loopback peers only.
inline void UseLoopbackOnly() {
  delivery::TSeams& seams = delivery::Seams();
  seams.NameServers = [] { return std::vector<std::string>{"127.0.0.1"}; };
  seams.DnsPort = PortOf("VL_DNS_GOOD");
  seams.DnsTimeout = 1500;
  seams.SmtpTimeout = 4000;
  seams.ReplySilence = 1000;
  seams.ResolveHost = [](const std::string& name, uint32_t& address) {
    // The peers' exchangers: mxN.test is 127.0.0.N.
    const std::string host = name.rfind("mx", 0) == 0 ? "127.0.0." + name.substr(2, 1) : name;
    const unsigned long dotted = inet_addr(host.c_str());
    if (dotted == INADDR_NONE || !delivery::IsLoopbackAddress(static_cast<uint32_t>(dotted)))
      return WSAHOST_NOT_FOUND;
    address = static_cast<uint32_t>(dotted);
    return 0;
  };
  seams.ConnectCheck = [](uint32_t address) { return delivery::IsLoopbackAddress(address); };
}

// The stand-ins' logs: MAPI calls, mailto command lines.
inline std::string MapiLog() { return PeerDir() + "mapi.log"; }
inline std::string MailtoLog() { return PeerDir() + "mailto.log"; }
inline std::vector<std::string> TakeLog(const std::string& path) {
  std::vector<std::string> lines = Lines(testsupport::ReadFileText(path));
  DeleteFileA(path.c_str());
  return lines;
}

// Registers the stand-in mail client's library ("" : no default mail client).
inline void RegisterMailClient(const std::string& dllPath) {
  const std::string clients = "SOFTWARE\\Clients\\Mail";
  if (dllPath.empty()) {
    SetRegistryText(HKEY_LOCAL_MACHINE, clients, "", nullptr);
    return;
  }
  SetRegistryText(HKEY_LOCAL_MACHINE, clients, "", "Vantor Stand-in Mail");
  SetRegistryText(HKEY_LOCAL_MACHINE, clients + "\\Vantor Stand-in Mail", "DLLPath",
                  dllPath.c_str());
}
// Registers the mailto command template (null: none).
inline void RegisterMailtoCommand(const char* commandTemplate) {
  SetRegistryText(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command", "", commandTemplate);
}
inline std::string MailtoStandIn() { return testsupport::ExeFolder() + "mailto_standin.exe"; }

// Closes the stand-in mail program's window(s) and waits until they are gone.
inline void CloseMailtoStandIn() {
  for (int i = 0; i < 100; ++i) {
    HWND window = FindWindowA("VantorMailtoStandIn", nullptr);
    if (!window) return;
    PostMessageA(window, WM_CLOSE, 0, 0);
    Sleep(50);
  }
}

}  // namespace deliverytest
