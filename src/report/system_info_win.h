// The system queries behind the report's general block. Each returns a string and never
// fails: a failed call or missing information gives an empty string.
//
// Foreign windows are only read through the default window procedure (no message is sent to
// another thread, whose owner may be suspended); the focused control is read on the calling
// thread, so the capture calls those two on the faulting thread.
#pragma once

#include <windows.h>

#include <string>

#include "report/report_blocks.h"
#include "report/system_formats.h"

namespace vl::report {

// The local time now and the zone's base bias in minutes (UTC = local + bias).
TReportTime LocalReportTime();
int32_t ZoneBias();
// FormatReportDate of Time with the current zone's bias.
std::string FormatLocalReportDate(const TReportTime& Time);

std::string GetApplicationName();        // description of the main executable, else its file name
std::string GetApplicationVersion();     // "a.b.c.d", empty for none or 0.0.0.0
std::string GetCommandLineParameters();  // each parameter in double quotes, blank-separated

std::string GetForegroundWindowClass();
std::string GetForegroundWindowText();
// The calling thread's focused window; an edit control with the password style shows one "*"
// per character.
std::string GetFocusedControlClass();
std::string GetFocusedControlText();

std::string QueryComputerName();
std::string QueryUserName();

// Physical memory from the extended memory status when the system has it (the plain one stops
// at 2 GB), in " Mb".
std::string GetTotalMemory();
std::string GetFreeMemory();
// The drive of the module holding the crash reporter, in " Gb" with the user's decimal
// separator; empty when the drive cannot be asked (a UNC path, an old system).
std::string GetTotalDisk();
std::string GetFreeDisk();

TOsVersionFacts GetOsVersionFacts();
std::string GetWindowsName();
std::string GetWindowsBuild();
std::string GetWindowsUpdate();
// The full name of the system's default language among the installed locales.
std::string GetWindowsLanguage();

// Fills the application, computer and operating-system facts (not the exception's). Those that
// do not change while the process runs (all but the foreground window and the free memory and
// disk) are read by the first call only.
void GatherSystemFacts(TReportFacts& Facts);

// Puts Text on the clipboard as CF_TEXT, on behalf of a top-level window of this process when
// there is one. False when the clipboard could not be used (the memory block is then freed).
bool CopyReportToClipboard(const std::string& Text);

}  // namespace vl::report
