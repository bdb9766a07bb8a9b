// The notification's links to the parts above it (dialogs, delivery, host frameworks). The
// crash reporter's assembly fills them at start-up; each unset link has a stated fallback, so
// the notification works without them (tests fill them with stand-ins).
#pragma once

#include <windows.h>

#include <string>

namespace vl::pipeline {

// The kind of process, for the showing step and the report's visibility rules. A service has
// no desktop anyone looks at: nothing is shown there (a dialog would wait for ever).
enum class THostKind { Gui, Console, WebServer, Service };

struct TSeams {
  // Unset: a console program when the main executable's subsystem is the console's, else GUI.
  THostKind (*HostKind)() = nullptr;
  // Sends the finished HTML error page for the exception of FaultingThreadId; false (with a
  // step error recorded) when it could not be sent. Unset: never reached for lack of a web host.
  bool (*SendWebErrorAnswer)(const std::string& page, DWORD faultingThreadId) = nullptr;
  // Shows the exception dialog from State() and sets its choices there; false when the dialog
  // failed, with the step error (eeShowError, "GUI") recorded. Unset: nothing is shown
  // (traced).
  bool (*ShowExceptionDialog)() = nullptr;
  // Asks for the reproduction steps when the options want them; sets State().ReproductionText.
  // Unset: the text stays empty.
  void (*AskReproduction)() = nullptr;
  // The screenshot's file name (empty: none wanted) and the capture into it, which may raise.
  // Unset: no screenshot.
  std::string (*ScreenshotFileName)() = nullptr;
  void (*CaptureScreenshot)(const std::string& fileName) = nullptr;
  // The send step: mails the report as the working options say; its result is the step's.
  // Unset: not sent (traced).
  bool (*SendReportByEmail)() = nullptr;
  // The upload step: posts the minidump and the report to UploadUrl; its result is the step's.
  // Unset: not uploaded (traced).
  bool (*UploadReport)() = nullptr;
};
TSeams& Seams();

// The host kind through the seam, or its fallback.
THostKind CurrentHostKind();

}  // namespace vl::pipeline
