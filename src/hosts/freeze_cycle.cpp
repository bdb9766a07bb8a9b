#include "hosts/freeze_cycle.h"

namespace vl::hosts {

uint64_t FreezeThresholdMs(int32_t watchdogSeconds) {
  return watchdogSeconds < 1 ? 1000u : static_cast<uint64_t>(watchdogSeconds) * 1000u;
}

namespace {

// Pauses after an answered probe; false when a stop request ended the pause.
bool Pause(TFreezeEnvironment& env) {
  for (uint32_t i = 0; i < AnsweredPauseSteps; ++i) {
    env.SleepMs(AnsweredPauseStepMs);
    if (env.StopRequested()) return false;
  }
  return true;
}

}  // namespace

void RunFreezeWatchdog(TFreezeEnvironment& env, int32_t watchdogSeconds) {
  const uint64_t threshold = FreezeThresholdMs(watchdogSeconds);
  bool haveWindow = false;
  bool unresponsive = false;
  uint64_t unresponsiveSince = 0;
  while (!env.StopRequested()) {
    if (!haveWindow) {
      haveWindow = env.FindWindow();
      unresponsive = false;
      if (!haveWindow) env.SleepMs(WindowSearchPauseMs);
      continue;
    }
    const uint64_t probeStart = env.NowMs();
    switch (env.Probe()) {
      case TProbeResult::WindowGone:
        haveWindow = false;
        unresponsive = false;
        continue;
      case TProbeResult::Answered:
        unresponsive = false;
        if (!Pause(env)) return;
        continue;
      case TProbeResult::NoAnswer:
        break;
    }
    if (!unresponsive) {
      unresponsive = true;
      unresponsiveSince = probeStart;
    }
    const uint64_t now = env.NowMs();
    const uint64_t elapsed = now > unresponsiveSince ? now - unresponsiveSince : 0;
    if (elapsed >= threshold && !env.StopRequested()) {
      env.ReportFreeze();
      // Whatever the outcome, a new cycle measures from the next unanswered probe.
      unresponsive = false;
    }
  }
}

}  // namespace vl::hosts
