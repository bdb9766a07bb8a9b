// The crash reporter assembled: the unit (started after the notification's, finalised before
// it) that connects the parts above the notification to it when the crash reporter is active:
// the dialogs, the screenshot, the mail delivery, the host kinds and web answers, the host
// frameworks' handlers and the freeze watchdog. Linking the `vantorlog` library into a module
// is what makes it carry the whole crash reporter.
#pragma once

namespace vl::vantorlog {

void StartAssembly();
void StopAssembly();

// Fills every seam the assembly owns (the start-up order is stated beside it); DisconnectSeams
// empties the ones the finish must (the exception manager and the notification's upper links).
void ConnectSeams();
void DisconnectSeams();

}  // namespace vl::vantorlog

// Referenced by the link option that keeps the unit in every module linking the crash reporter.
extern "C" int vl_vantorlog_unit_link;
