// A GUI program watched by the freeze watchdog (WatchdogSeconds 1):
//   freeze_program MODE LOG
// MODE: spin / sleep / alloc - the main thread stops taking messages for 3 s inside
//       FrozenMainThread (spinning, sleeping, allocating and freeing in a loop);
//       stall - it stops for 0.5 s only; nowindow - it spins for 3 s without a visible window;
//       busy - spins for 3 s while another notification holds the busy flag;
//       stop - it stays responsive, and the watchdog is stopped after 0.5 s;
//       library - spins as "spin" under freeze_library.dll's watchdog, unloads it while its
//       notification runs, then exits during it ("free_ms=<ms>").
// Each report appends to LOG a line "report thread=<main|other> class=<class> message=<text>
// in_function=<0|1> copy=<bytes>"; at the end "reports=<n> stop_ms=<ms> running=<0|1>".
// Exits 0.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/module_options.h"
#include "hosts/freeze_watchdog.h"
#include "hosts/main_thread.h"
#include "runtime/application.h"
#include "runtime/system.h"

using namespace vl;

namespace {

std::string g_log;
std::atomic<int> g_reports{0};
std::atomic<bool> g_busy{false};
TVantorModuleOptions* g_options = nullptr;
volatile bool g_stop = false;
volatile uintptr_t g_sink = 0;

__attribute__((noipa)) void FrozenMainThread(const std::string& mode, DWORD ms) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    if (mode == "sleep") {
      Sleep(10);
    } else if (mode == "alloc") {
      std::vector<char>* block = new std::vector<char>(1000 + (g_sink & 0xFF));
      g_sink += reinterpret_cast<uintptr_t>(block->data());
      delete block;
    } else {
      g_sink = g_sink + 1;
    }
  }
}
__attribute__((noipa)) void AfterFrozenMainThread() { g_sink = g_sink + 2; }

bool InFunction(uintptr_t value) {
  const auto from = reinterpret_cast<uintptr_t>(&FrozenMainThread);
  const auto to = reinterpret_cast<uintptr_t>(&AfterFrozenMainThread);
  const uintptr_t end = to > from && to - from < 0x1000 ? to : from + 0x200;
  return value >= from && value < end;
}

void NotifyFreeze(const hosts::TFrozenThreadState& state) {
  bool inFunction = InFunction(state.InstructionPointer);
  for (size_t i = 0; !inFunction && i + sizeof(uintptr_t) <= state.StackCopySize;
       i += sizeof(uintptr_t)) {
    uintptr_t word;
    std::memcpy(&word, state.StackCopy + i, sizeof word);
    inFunction = InFunction(word);
  }
  ++g_reports;
  std::ofstream(g_log, std::ios::app | std::ios::binary)
      << "report thread=" << (state.ThreadId == hosts::MainThread().ThreadId ? "main" : "other")
      << " class=" << rtl::ExceptionClassName(state.Error)
      << " message=" << rtl::ExceptionMessage(state.Error) << " in_function=" << inFunction
      << " copy=" << state.StackCopySize << "\n";
}

bool TryTake(DWORD) {
  bool expected = false;
  return g_busy.compare_exchange_strong(expected, true);
}
void Release() { g_busy = false; }

void Pump(DWORD ms) {
  DWORD start = GetTickCount();
  MSG msg;
  while (GetTickCount() - start < ms) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(5);
  }
}

LRESULT CALLBACK FormProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  return DefWindowProcA(w, m, wp, lp);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string mode = argv[1];
  g_log = argv[2];
  hosts::NoteMainThread();
  TVantorModuleOptions options("freeze_program.exe", false);
  options.SetWatchdogOn(true);
  options.SetWatchdogSeconds(1);
  g_options = &options;
  auto& seams = hosts::Seams();
  seams.CurrentOptions = [] { return static_cast<const TVantorModuleOptions*>(g_options); };
  seams.TryTakeHandling = TryTake;
  seams.ReleaseHandling = Release;
  seams.NotifyFreeze = NotifyFreeze;

  if (mode != "nowindow") {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Forms::GuardedWndProc<FormProc>;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TFreezeForm";
    RegisterClassA(&wc);
    HWND form = CreateWindowExA(0, wc.lpszClassName, "Freeze form", WS_OVERLAPPEDWINDOW, 10, 10,
                                200, 100, nullptr, nullptr, wc.hInstance, nullptr);
    ShowWindow(form, SW_SHOWNORMAL);
  }
  HANDLE notifying = CreateEventA(nullptr, TRUE, FALSE, "vl_freeze_notifying");
  HMODULE library = mode == "library" ? LoadLibraryA("freeze_library.dll") : nullptr;
  if (!library) hosts::StartFreezeWatchdog();
  Pump(400);
  if (mode == "busy") g_busy = true;
  if (mode == "stall")
    FrozenMainThread(mode, 500);
  else if (mode != "stop")
    FrozenMainThread(mode, 3000);
  AfterFrozenMainThread();
  if (library && WaitForSingleObject(notifying, 5000) == WAIT_OBJECT_0) {
    const DWORD start = GetTickCount();
    FreeLibrary(library);
    std::ofstream(g_log, std::ios::binary) << "free_ms=" << GetTickCount() - start << "\n";
    ExitProcess(0);
  }
  g_busy = false;
  Pump(mode == "stop" ? 100 : 500);
  DWORD before = GetTickCount();
  hosts::StopFreezeWatchdog();
  DWORD stopMs = GetTickCount() - before;
  std::ofstream(g_log, std::ios::app | std::ios::binary)
      << "reports=" << g_reports << " stop_ms=" << stopMs
      << " running=" << hosts::FreezeWatchdogRunning() << "\n";
  hosts::ForgetMainThread();
  return 0;
}
