// The freeze watchdog's notification: the frozen main thread's capture (its registers and the
// copy of its stack) reported as an exception of the main thread, from the watchdog's thread.
#pragma once

namespace vl::hosts {
struct TFrozenThreadState;
}

namespace vl::vantorlog {

// The watchdog's NotifyFreeze seam. Reads the main thread's focused control without sending
// it a message (it may not answer).
void NotifyFreezeForPipeline(const hosts::TFrozenThreadState& state);

}  // namespace vl::vantorlog
