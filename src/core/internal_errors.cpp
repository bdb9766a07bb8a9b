#include "core/internal_errors.h"

#include <atomic>
#include <exception>
#include <mutex>

#include "core/trace.h"
#include "runtime/exceptions.h"

namespace vl {

namespace core {

const char* const MakerSupportAddress = "vantorlog-support@example.org";
const char* const MakerBugReportAddress = "vantorlog-bugs@example.org";
const char* const DevelopmentEnvironmentExe = "VANTORIDE.EXE";

TSeams& Seams() {
  static TSeams seams;
  return seams;
}

namespace {

std::atomic<bool> g_runningInIDE{false};

struct StepErrorState {
  std::mutex Lock;
  TVantorStepError Last;
};
StepErrorState& Steps() {
  static StepErrorState* state = new StepErrorState;  // outlives static destruction
  return *state;
}

void DebugOutput(const std::string& text) {
  if (auto out = Seams().DebugOutput) out(text);
}

int Box(const std::string& text, const std::string& caption, uint32_t style) {
  if (auto box = Seams().ShowMessageBox) return box(text, caption, style);
  return (style & mbYesNo) ? idNo : idOk;
}

// What the error being handled says about itself.
struct CurrentError {
  bool Any = false;
  bool IsAbort = false;
  bool IsException = false;  // the runtime's base error class
  std::string Message;
  uintptr_t ExternalAddress = 0;
};

CurrentError InspectCurrentError() {
  CurrentError e;
  std::exception_ptr p = std::current_exception();
  if (!p) return e;
  e.Any = true;
  try {
    std::rethrow_exception(p);
  } catch (const EAbort& x) {
    e.IsAbort = e.IsException = true;
    e.Message = x.Message;
  } catch (const EExternal& x) {
    e.IsException = true;
    e.Message = x.Message;
    e.ExternalAddress = x.ExceptionAddress;
  } catch (const Exception& x) {
    e.IsException = true;
    e.Message = x.Message;
  } catch (...) {
  }
  return e;
}

}  // namespace

void SetRunningInIDE(bool value) { g_runningInIDE.store(value); }

}  // namespace core

bool IsRunningInIDE() { return core::g_runningInIDE.load(); }

const char* VantorLogErrorCodeName(TVantorLogErrorCode code) {
  switch (code) {
    case eeNone:
      return "eeNone";
    case eeShowError:
      return "eeShowError";
    case eeLogError:
      return "eeLogError";
    case eeEmailMAPIError:
      return "eeEmailMAPIError";
    case eeEmailShellError:
      return "eeEmailShellError";
    case eeEmailSMTPError:
      return "eeEmailSMTPError";
    case eeUploadError:
      return "eeUploadError";
  }
  return "eeUnknown";
}

TVantorStepError LastStepError() {
  auto& s = core::Steps();
  std::lock_guard<std::mutex> guard(s.Lock);
  return s.Last;
}

void ClearStepError() {
  auto& s = core::Steps();
  std::lock_guard<std::mutex> guard(s.Lock);
  s.Last = TVantorStepError();
}

void SetStepError(TVantorLogErrorCode Code, const std::string& Message) {
  try {
    {
      auto& s = core::Steps();
      std::lock_guard<std::mutex> guard(s.Lock);
      s.Last.Code = Code;
      s.Last.Message = Message;
    }
    std::string line = Format("[WARNING] - Code: %s - Message: \"%s\"",
                              VantorLogErrorCodeName(Code), Message.c_str());
    Trace(line, {std::string_view()});
    core::DebugOutput(line);
    auto showing = core::Seams().IsSmtpProgressShowing;
    if ((Code == eeEmailSMTPError || Code == eeUploadError) && showing && showing()) {
      core::Box(Message, "Error.",
                core::mbOk | core::mbIconError | core::mbTaskModal | core::mbTopMost |
                    core::mbServiceNotification);
    }
  } catch (...) {
    // Runs inside error handlers: nothing may escape.
  }
}

void ReportStepError(TVantorLogErrorCode Code, const std::string& Section) {
  std::string message;
  try {
    core::CurrentError e = core::InspectCurrentError();
    message = e.IsException ? Format("[%s] %s", Section.c_str(), e.Message.c_str())
                            : Format("General '%s' error.", Section.c_str());
  } catch (...) {
    message = "General error.";
  }
  SetStepError(Code, message);
}

void ReportInternalBug(const std::string& Section) {
  try {
    core::CurrentError e = core::InspectCurrentError();
    if (e.IsAbort) return;
    std::string message = e.IsException ? e.Message : "General internal error.";
    std::string line =
        Format("[ERROR] - Section: %s - Message: \"%s\"", Section.c_str(), message.c_str());
    core::DebugOutput(line);
    Trace(line, {std::string_view()});

    auto& platform = core::Seams();
    uintptr_t address =
        platform.CurrentErrorAddress ? platform.CurrentErrorAddress() : e.ExternalAddress;
    uint8_t bytes[32];
    if (address != 0 && platform.ReadModuleMemory &&
        platform.ReadModuleMemory(address, bytes, sizeof bytes)) {
      std::string dump;
      for (uint8_t b : bytes) dump += Format("$%02X ", b);
      Trace("Memory Dump: ", {dump});
    }

    try {
      SaveTraceLog();
    } catch (...) {
      // The report below still matters more than the file.
    }

    if (!IsTraceEnabled()) return;
    const uint32_t boxStyle = core::mbTaskModal | core::mbTopMost | core::mbServiceNotification;
    std::string question = Format(
        "Error: '%s'\r\n\r\nThis is an internal VantorLog bug.\r\n"
        "Do you want to send the bug information to VantorLog author?",
        message.c_str());
    if (core::Box(question, "Probably internal bug",
                  core::mbYesNo | core::mbIconError | boxStyle) != core::idYes)
      return;
    try {
      SaveTraceLogIfRequested();
    } catch (...) {
    }
    std::string traceFile = core::TraceFileName();
    const char* subject = "VantorLog 4.5.4 critical bug.";
    bool sent = false;
    if (platform.SendMapiMail) {
      try {
        sent = platform.SendMapiMail(core::MakerSupportAddress, subject, subject, traceFile);
      } catch (...) {
        sent = false;
      }
    }
    if (!sent) {
      core::Box(Format("Cannot connect with your email client.\r\nSend manually the \"%s\" file "
                       "to the ",
                       traceFile.c_str()) +
                    core::MakerBugReportAddress +
                    " email address,\r\nafter click on OK button to close this box.",
                "Information", core::mbOk | core::mbIconWarning | boxStyle);
    }
  } catch (...) {
    // The crash reporter's own failure must never reach the program.
  }
}

}  // namespace vl
