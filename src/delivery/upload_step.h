// The upload step: the report's minidump and text posted to a crash-collection server
// (UploadUrl) as the Breakpad/Crashpad upload that Sentry, Socorro, Backtrace and BugSplat take
// (upload_form.h), through WinHTTP (winhttp.dll, loaded when the first upload runs).
//
// Traffic goes to the address's host only: the host is resolved and checked as the SMTP client
// checks its peers (no 0.0.0.0/8, broadcast or multicast address, the delivery seams'
// ConnectCheck) before WinHTTP is asked, WinHTTP uses no proxy and follows no redirect. Every
// wait is bounded by the delivery seams' HttpTimeout (resolve, connect, send, receive).
#pragma once

#include <functional>
#include <string>

#include "core/module_options.h"
#include "dialogs/dialog_input.h"

namespace vl::delivery {

// What the upload step is given. Contract:
// - Options: the working options (required; null: nothing, false): UploadUrl, OutputLogFile
//   (the installation's identifier is kept beside the log, in "VantorLog.guid"), ModuleName
//   (the product: its name without folder and extension; its version resource gives "ver"),
//   ShowSmtpProgress.
// - ReportText: the text report, sent as the file part "report.txt".
// - MinidumpFile: the minidump (required: without one the step fails).
// - Host: only an interactive GUI program gets the progress dialog.
// - OnError(action, retry), CallOnExceptionThread: as the e-mail step's (send_step.h): after
//   each failed round OnError is called with action 5 and retry false; setting retry uploads
//   again, with a fresh progress dialog.
struct TUploadInput {
  const TVantorModuleOptions* Options = nullptr;
  std::string ReportText;
  std::string MinidumpFile;
  dialogs::THostKind Host = dialogs::THostKind::Gui;
  std::function<void(int action, bool& retry)> OnError;
  std::function<void(const std::function<void()>&)> CallOnExceptionThread;
};

// The upload step; returns the step result: true for an HTTP 2xx answer. The step error is
// cleared first; every failure (address refused, no minidump, no WinHTTP, no connection, a time
// out, an answer other than 2xx) is recorded as eeUploadError "[Upload] ..." and nothing is
// raised.
bool UploadReport(const TUploadInput& input);

// The installation's identifier from the file at Path, made and written there when the file
// does not hold one (CREATE_NEW: two processes starting at once keep one of the two); when it
// cannot be written, a fresh one for this upload.
std::string InstallationGuid(const std::string& path);

// The module's version resource as "a.b.c.d", or "" when it has none.
std::string ModuleVersionText(const std::string& moduleFile);

}  // namespace vl::delivery
