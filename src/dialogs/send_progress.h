// The SMTP progress dialog. It runs on its own thread (TSMTPThread) so that it keeps painting
// while the notification's thread performs the blocking SMTP session; that thread never waits
// for it: it copies texts and the percentage into shared state and posts a note, which the
// dialog's thread reads. Every operation does nothing when no progress dialog is showing.
#pragma once

#include <windows.h>

#include <string>

#include "core/module_options.h"
#include "dialogs/dialog_input.h"

namespace vl::dialogs {

// Clears the progress state and, when ShowSmtpProgress is on, the mail mode sends by SMTP
// (mmViaServer or mmDirect) or Upload is set (the upload to a crash-collection server shows the
// same dialog) and the process is an interactive GUI program, starts the dialog on
// its own thread and waits until it is up: at most 5 seconds, less when its thread ends first.
// Returns true when the dialog came up. Also installs the "progress showing" test of the core's
// error reports.
bool StartSendProgress(const TVantorModuleOptions& options, THostKind host, bool upload = false);
// The recipient the next status texts count ("Message 1/2: ...").
void SetSendProgressRecipient(int current, int count);
// Status label: "<Message> <current>/<count>: <step>" (copied; the caller's text may go).
void SetSendProgressText(const std::string& step);
// Progress bar, 0 to 100; a percentage the bar already has sends nothing.
void SetSendProgressPosition(int percent);
// Closes the dialog after the updates already posted and waits (at most 5 seconds) for its
// thread to end.
void CloseSendProgress();
// The dialog's window is known and still exists.
bool IsSendProgressShowing();
// The dialog's window, or null (tests).
HWND SendProgressWindow();

// Installs the dialogs' seams into the core (the "progress showing" test).
void InstallDialogSeams();

// The private message that closes the progress dialog.
constexpr UINT WM_CLOSE_PROGRESS = WM_USER + 1234;

}  // namespace vl::dialogs
