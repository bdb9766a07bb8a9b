// The notification's cost from the raise to the finished report: a thread raises 50 calls
// deep, the notify handler stamps the time and cancels (nothing is shown, logged or sent).
// Printed: median and maximum of 100 raises, the same for the main thread (with the worker's
// hand-off), and the parts: the system queries, the module list, the report text.
// Run under Wine; the figures depend on the debug information of this program.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "capture/capture_unit.h"
#include "core/core_unit_win.h"
#include "core/module_options.h"
#include "modules/module_registry.h"
#include "pipeline/except_notify.h"
#include "pipeline/pipeline_state.h"
#include "pipeline/pipeline_unit.h"
#include "report/report_blocks.h"
#include "report/system_info_win.h"
#include "runtime/exceptions.h"

using namespace vl;

namespace {

LARGE_INTEGER g_frequency;
LARGE_INTEGER g_raised;
double g_lastMs = 0;

double Since(const LARGE_INTEGER& from) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart - from.QuadPart) /
         static_cast<double>(g_frequency.QuadPart);
}

void Stamp(pipeline::TVantorExceptionRecord&, bool& handle) {
  g_lastMs = Since(g_raised);
  handle = false;
}

__attribute__((noinline)) int Deep(int depth) {
  if (depth == 0) {
    QueryPerformanceCounter(&g_raised);
    throw EConvertError("bench");
  }
  return Deep(depth - 1) + 1;
}

DWORD WINAPI RaiseOnThread(void*) {
  Deep(50);
  return 0;
}

void Print(const char* what, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  std::printf("%-44s median %8.3f ms   max %8.3f ms   (n=%zu)\n", what, ms[ms.size() / 2],
              ms.back(), ms.size());
}

template <class F>
std::vector<double> Time(int n, F&& f) {
  std::vector<double> out;
  for (int i = 0; i < n; ++i) {
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    f();
    out.push_back(Since(start));
  }
  return out;
}

}  // namespace

int main() {
  QueryPerformanceFrequency(&g_frequency);
  core::InstallCorePlatform();
  capture::StartCapture();
  pipeline::StartPipeline();
  pipeline::NotifyHandler = Stamp;
  std::printf("pipeline_bench, %d-bit build\n", static_cast<int>(8 * sizeof(void*)));

  std::vector<double> thread;
  for (int i = 0; i < 100; ++i) {
    HANDLE t = CreateThread(nullptr, 0, RaiseOnThread, nullptr, 0, nullptr);
    WaitForSingleObject(t, INFINITE);
    CloseHandle(t);
    thread.push_back(g_lastMs);
  }
  Print("thread raise -> report (50 deep)", thread);

  std::vector<double> main;
  for (int i = 0; i < 100; ++i) {
    try {
      Deep(50);
    } catch (...) {
      pipeline::ExceptNotify(std::current_exception(), nullptr, true, nullptr, 0, 0);
    }
    main.push_back(g_lastMs);
  }
  Print("main-thread raise -> report (worker)", main);

  report::TReportFacts facts;
  Print("system queries (GatherSystemFacts)", Time(20, [&] { report::GatherSystemFacts(facts); }));
  Print("module list refresh", Time(20, [] { modules::RefreshModulesList(); }));
  report::TReportFacts full = facts;
  for (int i = 0; i < 60; ++i)
    full.Stack.push_back({4, 0x401000u + 16u * i, "a.exe", 1, "Unit", "Class", "Procedure", i});
  for (int i = 0; i < 60; ++i)
    full.Modules.push_back({0x10000000u + 0x10000u * i, "C:\\x\\m.dll", "d", "1.2.3.4", 4096});
  Print("report text (60 entries, 60 modules)",
        Time(50, [&] { report::BuildReportBlocks(full, *pipeline::WorkingOptions()); }));

  pipeline::NotifyHandler = nullptr;
  pipeline::StopPipeline();
  capture::StopCapture();
  return 0;
}
