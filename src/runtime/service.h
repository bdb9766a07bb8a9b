// A Windows service: one TService per process, run by the service control dispatcher. Execute
// runs on the service thread; an exception escaping it is written to the event log by
// LogMessage as an error, and the service stops. Event-log writes go through a replaceable
// sink (the system's event log by default).
#pragma once

#include <windows.h>

#include <string>

namespace vl::SvcMgr {

// Writes one event: the event source's name, the text, the event type (EVENTLOG_ERROR_TYPE,
// ...), the category and the event ID. True when written.
using TEventLogSink = bool (*)(const std::string& source, const std::string& message,
                               WORD eventType, WORD category, DWORD eventId);
// The default: RegisterEventSourceA, ReportEventA with the one string, DeregisterEventSource.
bool SystemEventLogSink(const std::string& source, const std::string& message, WORD eventType,
                        WORD category, DWORD eventId);
extern TEventLogSink EventLogSink;

// True once the process has started the service control dispatcher: a service process has no
// desktop a user could see, so nothing may wait for a dialog's answer in it.
bool IsServiceProcess();

class TService {
 public:
  explicit TService(std::string name);
  virtual ~TService() = default;
  TService(const TService&) = delete;
  TService& operator=(const TService&) = delete;

  const std::string& Name() const { return FName; }
  // Set when the service control manager asked the service to stop; Execute polls it.
  bool Terminated() const { return FTerminated; }

  // Writes Message to the event log under the service's name. A crash reporter redirects this
  // routine by its qualified name.
  __attribute__((noipa)) void LogMessage(const std::string& message,
                                         DWORD eventType = EVENTLOG_INFORMATION_TYPE,
                                         int category = 0, int id = 0);

  // Connects the process to the service control manager and runs this service; returns when it
  // has stopped. False when the process was not started as a service (nothing is run then).
  bool Run();

 protected:
  // The service's work, on the service thread; runs until it returns or raises.
  virtual void Execute() = 0;

 private:
  static void WINAPI ServiceMain(DWORD argc, char** argv);
  static DWORD WINAPI ControlHandler(DWORD control, DWORD eventType, void* eventData,
                                     void* context);
  void ReportStatus(DWORD state, DWORD exitCode = NO_ERROR);

  std::string FName;
  SERVICE_STATUS_HANDLE FStatusHandle = nullptr;
  volatile bool FTerminated = false;
};

}  // namespace vl::SvcMgr
