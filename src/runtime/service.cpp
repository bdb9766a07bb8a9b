#include "runtime/service.h"

#include "runtime/exceptions.h"
#include "runtime/system.h"

namespace vl::SvcMgr {

TEventLogSink EventLogSink = SystemEventLogSink;

namespace {
TService* g_service = nullptr;  // the one service of the process, while Run runs
volatile bool g_serviceProcess = false;
}  // namespace

bool SystemEventLogSink(const std::string& source, const std::string& message, WORD eventType,
                        WORD category, DWORD eventId) {
  HANDLE log = RegisterEventSourceA(nullptr, source.c_str());
  if (!log) return false;
  const char* strings[1] = {message.c_str()};
  BOOL ok = ReportEventA(log, eventType, category, eventId, nullptr, 1, 0, strings, nullptr);
  DeregisterEventSource(log);
  return ok != FALSE;
}

bool IsServiceProcess() { return g_serviceProcess; }

TService::TService(std::string name) : FName(std::move(name)) {}

void TService::LogMessage(const std::string& message, DWORD eventType, int category, int id) {
  if (EventLogSink)
    EventLogSink(FName, message, static_cast<WORD>(eventType), static_cast<WORD>(category),
                 static_cast<DWORD>(id));
}

void TService::ReportStatus(DWORD state, DWORD exitCode) {
  if (!FStatusHandle) return;
  SERVICE_STATUS status = {};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted =
      state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  status.dwWin32ExitCode = exitCode == NO_ERROR ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
  status.dwServiceSpecificExitCode = exitCode;
  status.dwWaitHint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : 3000;
  SetServiceStatus(FStatusHandle, &status);
}

DWORD WINAPI TService::ControlHandler(DWORD control, DWORD, void*, void* context) {
  auto* self = static_cast<TService*>(context);
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      // Pending first: once Terminated is seen, Execute may end and report the stop at once,
      // and a pending report after that would leave the service "stopping" for good.
      self->ReportStatus(SERVICE_STOP_PENDING);
      self->FTerminated = true;
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI TService::ServiceMain(DWORD, char**) {
  TService* self = g_service;
  if (!self) return;
  self->FStatusHandle =
      RegisterServiceCtrlHandlerExA(self->FName.c_str(), &TService::ControlHandler, self);
  if (!self->FStatusHandle) return;
  self->ReportStatus(SERVICE_RUNNING);
  DWORD exitCode = NO_ERROR;
  try {
    self->Execute();
  } catch (...) {
    exitCode = 1;
    try {
      self->LogMessage(rtl::ExceptionMessage(std::current_exception()), EVENTLOG_ERROR_TYPE, 0, 0);
    } catch (...) {
      // The service still reports its stop below.
    }
  }
  self->ReportStatus(SERVICE_STOPPED, exitCode);
}

bool TService::Run() {
  g_service = this;
  g_serviceProcess = true;
  std::string name = FName;
  SERVICE_TABLE_ENTRYA table[2] = {{&name[0], &TService::ServiceMain}, {nullptr, nullptr}};
  bool ran = StartServiceCtrlDispatcherA(table) != FALSE;
  if (!ran) g_serviceProcess = false;
  g_service = nullptr;
  return ran;
}

}  // namespace vl::SvcMgr
