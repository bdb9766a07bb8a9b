// The freeze watchdog's decisions, apart from the platform: when is the main thread frozen,
// when does a cycle start over, when does the watchdog stop. The platform side (window search,
// probe message, suspension and the report) is reached through TFreezeEnvironment, so the
// timing rules are checked with a fake clock and a fake window.
//
// Rules: the threshold is WatchdogSeconds × 1000 ms, at least 1 s, in 64-bit milliseconds.
// Unresponsiveness is measured in real time from the start of the first unanswered probe (a
// probe that fails at once does not count as 50 ms), and the thread is frozen once it reaches
// the threshold (≥). An answered probe ends the stretch and is followed by a pause of 5 × 50
// ms. After every freeze report, whatever its outcome (reported, another notification busy, no
// registers), the cycle starts over: a thread that recovered is not reported again, one still
// frozen is reported once per further threshold period. A destroyed window is searched for
// again. The stop request is checked before every probe, after every 50 ms of a pause and of
// the window search.
#pragma once

#include <cstdint>

namespace vl::hosts {

enum class TProbeResult {
  Answered,    // the window's thread took the message in time
  NoAnswer,    // time-out (or any other failure) while the window exists
  WindowGone,  // the window no longer exists
};

enum class TFreezeOutcome {
  Reported,   // the notification ran
  Busy,       // another notification held the busy flag: this cycle is skipped
  NoContext,  // the registers could not be read (or were zero): this cycle is dropped
};

class TFreezeEnvironment {
 public:
  virtual ~TFreezeEnvironment() = default;
  // A monotonic clock in milliseconds.
  virtual uint64_t NowMs() = 0;
  virtual void SleepMs(uint32_t ms) = 0;
  virtual bool StopRequested() = 0;
  // Looks for the main thread's main window; true when one was found (it is then probed).
  virtual bool FindWindow() = 0;
  // Sends one probe to the window found, waiting at most ProbeTimeoutMs.
  virtual TProbeResult Probe() = 0;
  // The main thread is frozen: capture and report it.
  virtual TFreezeOutcome ReportFreeze() = 0;
};

constexpr uint32_t WindowSearchPauseMs = 50;
constexpr uint32_t ProbeTimeoutMs = 50;
constexpr uint32_t AnsweredPauseStepMs = 50;
constexpr uint32_t AnsweredPauseSteps = 5;

// WatchdogSeconds in milliseconds, at least 1,000.
uint64_t FreezeThresholdMs(int32_t watchdogSeconds);

// The watchdog thread's body: runs until the stop request is set.
void RunFreezeWatchdog(TFreezeEnvironment& env, int32_t watchdogSeconds);

}  // namespace vl::hosts
