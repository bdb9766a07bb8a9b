// Prints what the freeze watchdog costs and how fast it finds a freeze, in a real GUI program:
//   1. messages per second of a busy post/get/dispatch loop without and with the watchdog
//      (median ratio of 21 alternating 300 ms pairs; an A/A line, both without, shows the noise);
//   2. detection latency at WatchdogSeconds 1, 2 and 5 (time from the freeze to the report,
//      minus the threshold);
//   3. how long the main thread stands suspended per capture (mean over the reports of 2).
// Figures only; nothing is asserted. The first line names the build.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/module_options.h"
#include "figure.h"
#include "hosts/freeze_watchdog.h"
#include "hosts/main_thread.h"

using namespace vl;

namespace {

TVantorModuleOptions* g_options = nullptr;
LARGE_INTEGER g_frequency;
volatile LONGLONG g_reportedAt = 0;
std::vector<uint64_t> g_suspensions;

LONGLONG Now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart;
}
double Ms(LONGLONG ticks) { return ticks * 1000.0 / static_cast<double>(g_frequency.QuadPart); }

void NotifyFreeze(const hosts::TFrozenThreadState& state) {
  if (!g_reportedAt) g_reportedAt = Now();
  g_suspensions.push_back(state.SuspendedMicroseconds);
}

LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

double MessagesPerSecond(HWND window) {
  LONGLONG start = Now(), end = start + g_frequency.QuadPart * 3 / 10;
  long count = 0;
  MSG msg;
  while (Now() < end) {
    PostMessageA(window, WM_USER, 0, 0);
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageA(&msg);
      ++count;
    }
  }
  return count / Ms(Now() - start) * 1000.0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void Pump(DWORD ms) {
  DWORD start = GetTickCount();
  MSG msg;
  while (GetTickCount() - start < ms) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(5);
  }
}

}  // namespace

int main() {
  QueryPerformanceFrequency(&g_frequency);
#if defined(__x86_64__)
  std::printf("freeze_bench: x86_64 build, %s\n", __DATE__);
#else
  std::printf("freeze_bench: i686 build, %s\n", __DATE__);
#endif
  hosts::NoteMainThread();
  TVantorModuleOptions options("freeze_bench.exe", false);
  options.SetWatchdogOn(true);
  g_options = &options;
  hosts::Seams().CurrentOptions = [] {
    return static_cast<const TVantorModuleOptions*>(g_options);
  };
  hosts::Seams().NotifyFreeze = NotifyFreeze;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "TFreezeBench";
  RegisterClassA(&wc);
  HWND window = CreateWindowExA(0, wc.lpszClassName, "Freeze bench", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                100, nullptr, nullptr, wc.hInstance, nullptr);
  ShowWindow(window, SW_SHOWNORMAL);
  Pump(200);

  // 1. Throughput.
  options.SetWatchdogSeconds(5);
  std::vector<double> ratios, noise, withRates;
  for (int pair = 0; pair < 21; ++pair) {
    double without = MessagesPerSecond(window);
    hosts::StartFreezeWatchdog();
    double with = MessagesPerSecond(window);
    hosts::StopFreezeWatchdog();
    double again = MessagesPerSecond(window);
    ratios.push_back(with / without);
    withRates.push_back(with);
    noise.push_back(again / without);
  }
  std::printf("messages/s with watchdog / without: median %.3f (21 pairs of 300 ms)\n",
              Median(ratios));
  std::printf("A/A noise (without / without):       median %.3f\n", Median(noise));
  bench::Figure("watchdog, message loop", bench::Format("%.0f msg/s", Median(withRates)), "",
                bench::Format("with/without %.3f", Median(ratios)));
  bench::Figure("watchdog, message loop A/A (noise)", "21 pairs of 300 ms", "",
                bench::Format("without/without %.3f", Median(noise)));

  // 2. Detection latency.
  for (int seconds : {1, 2, 5}) {
    options.SetWatchdogSeconds(seconds);
    g_reportedAt = 0;
    hosts::StartFreezeWatchdog();
    Pump(400);
    LONGLONG frozenAt = Now();
    while (!g_reportedAt && Ms(Now() - frozenAt) < seconds * 1000.0 + 3000) {
    }
    LONGLONG reported = g_reportedAt;
    Pump(100);
    hosts::StopFreezeWatchdog();
    const std::string name = bench::Format("freeze detection at %d s, over the threshold", seconds);
    if (reported) {
      const double late = Ms(reported - frozenAt) - seconds * 1000.0;
      std::printf("detection latency at %d s: %.0f ms over the threshold\n", seconds, late);
      bench::Figure(name, bench::Format("%.0f ms", late), "", "");
    } else {
      std::printf("detection latency at %d s: no report\n", seconds);
      bench::Figure(name, "no report", "", "");
    }
  }

  // 3. Suspension per capture.
  double sum = 0;
  for (uint64_t us : g_suspensions) sum += static_cast<double>(us);
  if (!g_suspensions.empty())
    std::printf("main thread suspended per capture: mean %.3f ms over %u captures\n",
                sum / 1000.0 / static_cast<double>(g_suspensions.size()),
                static_cast<unsigned>(g_suspensions.size()));
  if (!g_suspensions.empty())
    bench::Figure(
        "freeze capture, main thread suspended",
        bench::Format("%.3f ms", sum / 1000.0 / static_cast<double>(g_suspensions.size())), "", "");
  hosts::ForgetMainThread();
  return 0;
}
