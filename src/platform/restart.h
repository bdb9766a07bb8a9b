// Ending the program after an error, optionally starting it again first.
#pragma once

namespace vl::platform {

// Notes the current folder as the one a restarted program starts in (the start-up calls this).
void RecordStartFolder();

// When Restart is true, starts a new process with this process's command line and start-up
// information, the flags CREATE_NEW_PROCESS_GROUP | NORMAL_PRIORITY_CLASS, in the recorded
// start folder; then, in every case, terminates this process with exit code 1.
[[noreturn]] void RestartOrTerminate(bool restart);

}  // namespace vl::platform
