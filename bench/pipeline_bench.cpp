// The notification's cost from the raise to the finished report: a thread raises 50 calls
// deep, the notify handler stamps the time and cancels (nothing is shown, logged or sent).
// Printed: median and maximum of 100 raises, the same for the main thread (with the worker's
// hand-off), and the parts: the walk with its look-ups, the system facts, the module list, the
// report text and the hand-off (main thread less other thread). The program's own debug
// information is grown to a large program's, 2,000 units with 200,000 line records, the added
// units ahead of its own so that every look-up passes them. Run under Wine.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "capture/call_stack.h"
#include "capture/capture_unit.h"
#include "capture/process_memory.h"
#include "core/core_unit_win.h"
#include "core/module_options.h"
#include "debuginfo/debug_table.h"
#include "figure.h"
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

// The call stack as the report takes it, from 50 calls deep.
std::vector<double> g_walkMs, g_scanMs;
__attribute__((noinline)) int Walk(int depth) {
  if (depth == 0) {
    uintptr_t low = 0, base = 0;
    capture::CurrentStackBounds(low, base);
    const auto top = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    const size_t found = capture::CallStackAddresses(0, top, base).size();
    g_scanMs.push_back(Since(start));
    QueryPerformanceCounter(&start);
    capture::TVantorStackList stack = capture::GetCallStack(0, top, base);
    g_walkMs.push_back(Since(start));
    if (g_walkMs.size() == 1)
      std::printf("walk: %d addresses, %d entries\n", int(found), stack.Count());
    return stack.Count();
  }
  return Walk(depth - 1) + 1;
}

// Prints the median and the maximum, and the median as a figure line; returns the median.
double Print(const char* what, std::vector<double> ms, const char* goal = "") {
  std::sort(ms.begin(), ms.end());
  const double median = ms[ms.size() / 2];
  std::printf("%-44s median %8.3f ms   max %8.3f ms   (n=%zu)\n", what, median, ms.back(),
              ms.size());
  bench::Figure(bench::Format("%s, median", what), bench::Format("%.3f ms", median), goal, "");
  return median;
}

// The program's own units behind made-up ones of 100 line records each (a routine name every
// tenth), placed beyond its code, until the table holds 2,000 units and 200,000 records.
void GrowDebugInformation() {
  modules::TVantorModuleInfo* self = modules::GetModuleInfo(GetModuleHandleA(nullptr));
  vl::TDebugTable own, grown;
  if (!self || !self->DebugInfo ||
      !vl::ReadDebugTable(self->DebugInfo->data(), self->DebugInfo->size(), self->DataVersion,
                          own)) {
    std::printf("no debug information of its own: the look-ups are not measured\n");
    return;
  }
  int32_t start = 0x01000000;
  size_t ownRecords = 0;
  for (const auto& unit : own.Units) ownRecords += unit.Records.size();
  const size_t added = std::max<size_t>(ownRecords < 200000 ? (200000 - ownRecords + 99) / 100 : 0,
                                        own.Units.size() < 2000 ? 2000 - own.Units.size() : 0);
  for (size_t u = 0; u < added; ++u) {
    vl::TDebugUnit unit;
    unit.Name = "Grown" + std::to_string(u);
    unit.FirstLine = 20;
    unit.StartOffset = start;
    for (int r = 0; r < 100; ++r) {
      vl::TLineRecord record;
      record.Step.LineStep = 1 + r % 4;
      record.Step.AddrStep = 1 + (r * 7) % 24;
      if (r % 10 == 0) {
        record.Step.HasName = true;
        record.Name = "TClass" + std::to_string(r / 30) + ".Proc" + std::to_string(r);
        grown.Index.push_back({unit.Name + "." + record.Name, start + unit.CodeSize, 0});
      }
      unit.CodeSize += record.Step.AddrStep;
      unit.Records.push_back(record);
    }
    unit.CodeSize += 16;
    start += unit.CodeSize;
    grown.Units.push_back(std::move(unit));
  }
  size_t records = 0;
  for (auto& unit : own.Units) grown.Units.push_back(std::move(unit));
  for (auto& entry : own.Index) grown.Index.push_back(std::move(entry));
  for (const auto& unit : grown.Units) records += unit.Records.size();
  self->DropDebugUnits();
  self->DebugInfo =
      std::make_unique<std::vector<uint8_t>>(vl::WriteDebugTable(grown, self->DataVersion));
  std::printf("debug information: %zu units (%zu its own), %zu line records, %zu bytes\n",
              grown.Units.size(), grown.Units.size() - added, records, self->DebugInfo->size());
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
  GrowDebugInformation();

  std::vector<double> thread;
  for (int i = 0; i < 100; ++i) {
    HANDLE t = CreateThread(nullptr, 0, RaiseOnThread, nullptr, 0, nullptr);
    WaitForSingleObject(t, INFINITE);
    CloseHandle(t);
    thread.push_back(g_lastMs);
  }
  const double onThread = Print("raise -> report, 50 frames, other thread", thread, "<= 5 ms");

  std::vector<double> main;
  for (int i = 0; i < 100; ++i) {
    try {
      Deep(50);
    } catch (...) {
      pipeline::ExceptNotify(std::current_exception(), nullptr, true, nullptr, 0, 0);
    }
    main.push_back(g_lastMs);
  }
  const double onMain = Print("raise -> report, 50 frames, main thread", main, "<= 5 ms");

  for (int i = 0; i < 20; ++i) Walk(50);
  Print("part: walk and look-ups (50 deep)", g_walkMs);
  Print("part: of which the stack scan", g_scanMs);
  report::TReportFacts facts;
  Print("part: system facts", Time(20, [&] { report::GatherSystemFacts(facts); }));
  Print("part: module list refresh", Time(20, [] { modules::RefreshModulesList(); }));
  report::TReportFacts full = facts;
  for (int i = 0; i < 60; ++i)
    full.Stack.push_back({4, 0x401000u + 16u * i, "a.exe", 1, "Unit", "Class", "Procedure", i});
  for (int i = 0; i < 60; ++i)
    full.Modules.push_back({0x10000000u + 0x10000u * i, "C:\\x\\m.dll", "d", "1.2.3.4", 4096});
  Print("part: report text (60 entries, 60 modules)",
        Time(50, [&] { report::BuildReportBlocks(full, *pipeline::WorkingOptions()); }));
  bench::Figure("part: hand-off to the worker (main less other thread)",
                bench::Format("%.3f ms", onMain - onThread), "", "");

  pipeline::NotifyHandler = nullptr;
  pipeline::StopPipeline();
  capture::StopCapture();
  return 0;
}
