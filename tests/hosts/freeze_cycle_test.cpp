// The freeze watchdog's timing rules, run against a fake clock and a fake main window whose
// thread is frozen during given stretches of time.
#include "hosts/freeze_cycle.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vl;

using hosts::TFreezeOutcome;
using hosts::TProbeResult;

namespace {

struct Stretch {
  uint64_t from, to;  // [from, to) in ms
};

class FakeWindow : public hosts::TFreezeEnvironment {
 public:
  std::vector<Stretch> frozen;           // the main thread takes no message
  std::vector<Stretch> windowless;       // no main window exists
  uint64_t stopAt = 20000;               // the stop request is set from then on
  uint32_t failedProbeMs = 50;           // how long an unanswered probe takes
  std::vector<TFreezeOutcome> outcomes;  // given to the reports in turn (then Reported)

  uint64_t now = 0;
  std::vector<uint64_t> reports;  // when the freeze was reported
  uint64_t stoppedAt = 0;
  int probes = 0;

  uint64_t NowMs() override { return now; }
  void SleepMs(uint32_t ms) override { now += ms; }
  bool StopRequested() override { return now >= stopAt; }
  bool FindWindow() override { return !In(windowless); }
  TProbeResult Probe() override {
    ++probes;
    if (In(windowless)) return TProbeResult::WindowGone;
    if (In(frozen)) {
      // A thread that thaws within the probe's wait answers it then.
      uint64_t thaw = StretchEnd(frozen);
      if (thaw < now + failedProbeMs) {
        now = thaw;
        return TProbeResult::Answered;
      }
      now += failedProbeMs;
      return TProbeResult::NoAnswer;
    }
    now += 1;
    return TProbeResult::Answered;
  }
  TFreezeOutcome ReportFreeze() override {
    reports.push_back(now);
    TFreezeOutcome outcome = TFreezeOutcome::Reported;
    if (reports.size() <= outcomes.size()) outcome = outcomes[reports.size() - 1];
    now += 5;  // the notification takes a little time
    return outcome;
  }

  void Run(int32_t seconds) {
    hosts::RunFreezeWatchdog(*this, seconds);
    stoppedAt = now;
  }

 private:
  uint64_t StretchEnd(const std::vector<Stretch>& list) const {
    for (const Stretch& s : list)
      if (now >= s.from && now < s.to) return s.to;
    return now;
  }
  bool In(const std::vector<Stretch>& list) const {
    for (const Stretch& s : list)
      if (now >= s.from && now < s.to) return true;
    return false;
  }
};

}  // namespace

TEST(FreezeThreshold, ClampedToOneSecondAndComputedIn64Bits) {
  struct Case {
    int32_t seconds;
    uint64_t ms;
  } cases[] = {{1, 1000},  {60, 60000},       {0, 1000},
               {-5, 1000}, {INT32_MIN, 1000}, {INT32_MAX, 2147483647000ull}};
  for (const Case& c : cases) EXPECT_EQ(hosts::FreezeThresholdMs(c.seconds), c.ms) << c.seconds;
}

TEST(FreezeCycle, FrozenThreadIsReportedOncePerPeriodAndNotAfterRecovering) {
  FakeWindow w;
  w.frozen = {{1000, 4600}};
  w.stopAt = 8000;
  w.Run(1);
  // Detection starts at the first unanswered probe (at most one pause after 1000 ms), reports
  // after a full second of real time, then once per further second while it stays frozen.
  ASSERT_EQ(w.reports.size(), 3u);
  EXPECT_GE(w.reports[0], 2000u);
  EXPECT_LE(w.reports[0], 2000u + 250 + 50);
  for (size_t i = 1; i < w.reports.size(); ++i) {
    EXPECT_GE(w.reports[i] - w.reports[i - 1], 1000u);
    EXPECT_LE(w.reports[i] - w.reports[i - 1], 1000u + 60);
  }
}

TEST(FreezeCycle, StallsShorterThanTheThresholdAreNeverReported) {
  FakeWindow w;
  w.frozen = {{1000, 1500}, {2000, 2990}, {4000, 4400}};
  w.stopAt = 6000;
  w.Run(1);
  EXPECT_TRUE(w.reports.empty());
}

TEST(FreezeCycle, ThresholdCountsRealTimeNotProbes) {
  // Probes that fail at once (1 ms each) must not shorten the wait...
  FakeWindow quick;
  quick.frozen = {{0, 5000}};
  quick.failedProbeMs = 1;
  quick.stopAt = 1800;
  quick.Run(1);
  ASSERT_EQ(quick.reports.size(), 1u);
  EXPECT_GE(quick.reports[0], 1000u);
  EXPECT_LE(quick.reports[0], 1002u);
  // ...and slow ones (56 ms) must not lengthen it.
  FakeWindow slow;
  slow.frozen = {{0, 5000}};
  slow.failedProbeMs = 56;
  slow.stopAt = 1800;
  slow.Run(1);
  ASSERT_EQ(slow.reports.size(), 1u);
  EXPECT_GE(slow.reports[0], 1000u);
  EXPECT_LT(slow.reports[0], 1000u + 56);
}

TEST(FreezeCycle, ZeroOrNegativeSecondsWaitOneSecondAndHugeValuesDoNotOverflow) {
  for (int32_t seconds : {0, -1}) {
    FakeWindow w;
    w.frozen = {{0, 1500}};
    w.stopAt = 1500;
    w.Run(seconds);
    ASSERT_EQ(w.reports.size(), 1u) << seconds;
    EXPECT_GE(w.reports[0], 1000u) << seconds;
  }
  FakeWindow huge;
  huge.frozen = {{0, 30000}};
  huge.stopAt = 30000;
  huge.Run(INT32_MAX);
  EXPECT_TRUE(huge.reports.empty());
}

TEST(FreezeCycle, BusyOrUnreadableCycleIsSkippedAndTheNextPeriodReports) {
  for (TFreezeOutcome first : {TFreezeOutcome::Busy, TFreezeOutcome::NoContext}) {
    FakeWindow w;
    w.frozen = {{0, 10000}};
    w.outcomes = {first};
    w.stopAt = 2500;
    w.Run(1);
    ASSERT_EQ(w.reports.size(), 2u);
    EXPECT_GE(w.reports[1] - w.reports[0], 1000u);
  }
}

TEST(FreezeCycle, StopRequestEndsEveryState) {
  struct Case {
    const char* state;
    std::vector<Stretch> frozen, windowless;
    uint64_t stopAt;
  } cases[] = {
      {"pausing after an answer", {}, {}, 1234},
      {"probing a frozen thread", {{0, 99999}}, {}, 1234},
      {"searching for a window", {}, {{0, 99999}}, 1234},
      {"stop before the first probe", {}, {}, 0},
  };
  for (const Case& c : cases) {
    FakeWindow w;
    w.frozen = c.frozen;
    w.windowless = c.windowless;
    w.stopAt = c.stopAt;
    w.Run(1000);
    EXPECT_LE(w.stoppedAt, c.stopAt + 60) << c.state;
    EXPECT_TRUE(w.reports.empty()) << c.state;
  }
}

TEST(FreezeCycle, DestroyedWindowIsSearchedForAgainAndItsSuccessorWatched) {
  FakeWindow w;
  w.windowless = {{0, 300}, {1000, 1400}};
  w.frozen = {{2000, 3400}};
  w.stopAt = 3400;
  w.Run(1);
  ASSERT_EQ(w.reports.size(), 1u);
  EXPECT_GE(w.reports[0], 3000u);
  // Not probed while no window existed: nothing there counted as frozen time.
}
