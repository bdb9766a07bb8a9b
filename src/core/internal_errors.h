// Failures of the crash reporter's own steps. A step error (showing the dialog, writing the log,
// sending the mail failed; the process goes on) is recorded process-wide with its code and
// message; an internal bug (the notification pipeline itself failed) is traced, saved, and,
// with tracing on, offered for mailing to the library's maker.
#pragma once

#include <cstdint>
#include <string>

#include "core/core_seams.h"

namespace vl {

enum TVantorLogErrorCode : uint8_t {
  eeNone = 0,
  eeShowError = 1,
  eeLogError = 2,
  eeEmailMAPIError = 3,
  eeEmailShellError = 4,
  eeEmailSMTPError = 5,
  eeUploadError = 6,  // the upload to a crash-collection server
};

// "eeNone", "eeShowError", ...; "eeUnknown" for a value outside the enumeration.
const char* VantorLogErrorCodeName(TVantorLogErrorCode code);

struct TVantorStepError {
  TVantorLogErrorCode Code = eeNone;
  std::string Message;
};

// The last step error (a copy; threads may record errors at any time).
TVantorStepError LastStepError();
// Code eeNone, empty message; called before each step that may fail.
void ClearStepError();
// Records the step error, traces it and sends it to the debugger output; an SMTP or upload
// error while the progress dialog is showing is also shown in a message box.
void SetStepError(TVantorLogErrorCode Code, const std::string& Message);
// Call inside a step's catch block: "[Section] message" for an error of the runtime's Exception
// class, "General 'Section' error." for anything else.
void ReportStepError(TVantorLogErrorCode Code, const std::string& Section);
// Call inside the notification pipeline's catch-all block. Does nothing for EAbort. Never
// raises.
void ReportInternalBug(const std::string& Section);

// True when the process's executable is the development environment (set at start-up).
bool IsRunningInIDE();

namespace core {

// The library maker's addresses, used by ReportInternalBug.
extern const char* const MakerSupportAddress;
extern const char* const MakerBugReportAddress;
// The development environment's executable name, upper case.
extern const char* const DevelopmentEnvironmentExe;

// Message-box styles and answers (the system's values).
enum : uint32_t {
  mbOk = 0x0,
  mbYesNo = 0x4,
  mbIconError = 0x10,
  mbIconWarning = 0x30,
  mbTaskModal = 0x2000,
  mbTopMost = 0x40000,
  mbServiceNotification = 0x200000,
};
enum : int { idOk = 1, idYes = 6, idNo = 7 };

// Start-up fact set by the Windows unit.
void SetRunningInIDE(bool value);

}  // namespace core

}  // namespace vl
