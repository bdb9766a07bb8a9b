// Test support: a service installed in the test's Wine prefix for the life of the object.
#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

// Installs (replacing one of the same name) a demand-start service running CommandLine; the
// destructor stops and deletes it.
class InstalledService {
 public:
  InstalledService(const std::string& name, const std::string& commandLine) : name_(name) {
    manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager_) return;
    if (SC_HANDLE old = OpenServiceA(manager_, name.c_str(), SERVICE_ALL_ACCESS)) {
      DeleteService(old);
      CloseServiceHandle(old);
    }
    service_ = CreateServiceA(manager_, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                              SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                              commandLine.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  }
  InstalledService(const InstalledService&) = delete;
  InstalledService& operator=(const InstalledService&) = delete;
  ~InstalledService() {
    if (service_) {
      SERVICE_STATUS status;
      ControlService(service_, SERVICE_CONTROL_STOP, &status);
      DeleteService(service_);
      CloseServiceHandle(service_);
    }
    if (manager_) CloseServiceHandle(manager_);
  }
  SC_HANDLE Handle() const { return service_; }
  // Waits up to TimeoutMs for State; returns the state reached.
  DWORD WaitState(DWORD state, DWORD timeoutMs) {
    SERVICE_STATUS status = {};
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
      if (!QueryServiceStatus(service_, &status)) return 0;
      if (status.dwCurrentState == state) break;
      Sleep(50);
    }
    return status.dwCurrentState;
  }

 private:
  std::string name_;
  SC_HANDLE manager_ = nullptr;
  SC_HANDLE service_ = nullptr;
};

}  // namespace testsupport
