// Prints how long the exception dialog takes to appear: from the call until its first paint
// has been done, first and median of 20 runs, for ShowDialog and for a bare DialogBoxParamA of
// the same template (goal: median at most 3 times the bare dialog). Also prints the switch to
// the detailed view with 100 modules and 50 call-stack rows, and the portable size computation
// for a long message. Run under Wine with a display; asserts nothing.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "dialogs/dialog_support.h"
#include "dialogs/exception_dialog.h"
#include "dialogs/layout.h"
#include "figure.h"
#include "modules/module_info.h"

using namespace vl;

namespace {

// The first paint of a dialog on the hooked thread: noted when the message after WM_PAINT is
// fetched, i.e. when the paint has been dispatched.
thread_local bool PaintSeen = false;
thread_local LARGE_INTEGER PaintDone;
thread_local HWND Painted = nullptr;
thread_local bool CloseAfterPaint = true;

LRESULT CALLBACK GetMessageHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && wParam == PM_REMOVE) {
    MSG* msg = reinterpret_cast<MSG*>(lParam);
    if (!Painted && PaintSeen) {
      QueryPerformanceCounter(&PaintDone);
      Painted = GetAncestor(msg->hwnd ? msg->hwnd : GetActiveWindow(), GA_ROOT);
      if (CloseAfterPaint) PostMessageA(Painted, WM_COMMAND, IDCANCEL, 0);
    } else if (!PaintSeen && msg->message == WM_PAINT) {
      PaintSeen = true;
      PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

double Ms(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
         static_cast<double>(f.QuadPart);
}

INT_PTR CALLBACK BareProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) EndDialog(dialog, IDCANCEL);
  return message == WM_INITDIALOG;
}

// Runs Show on a fresh thread and returns the milliseconds until its first paint was done.
template <class Show>
double TimeToFirstPaint(Show show) {
  double result = -1;
  std::thread worker([&] {
    PaintSeen = false;
    Painted = nullptr;
    HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, GetMessageHook, nullptr, GetCurrentThreadId());
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    show();
    if (Painted) result = Ms(start, PaintDone);
    UnhookWindowsHookEx(hook);
  });
  worker.join();
  return result;
}

// Prints the first and the median time; returns the median.
double Report(const char* name, std::vector<double> times) {
  double first = times.front();
  std::sort(times.begin(), times.end());
  std::printf("%-28s first %8.2f ms   median %8.2f ms\n", name, first, times[times.size() / 2]);
  return times[times.size() / 2];
}

struct Options : TVantorModuleOptions {
  Options() : TVantorModuleOptions("dialog_bench.exe", false) {}
};

}  // namespace

int main() {
  dialogs::EnsureCommonControls();
  Options options;
  options.SetMailMode(mmViaServer);
  dialogs::TDialogInput input;
  input.Options = &options;
  input.ErrorMessage = "Access violation at address 00401000 in module 'prog.exe'.";
  input.GeneralBlock = std::string(4000, 'g');
  input.CpuBlock = std::string(2000, 'c');

  std::vector<double> bare, shown;
  for (int i = 0; i < 20; ++i) {
    bare.push_back(TimeToFirstPaint(
        [] { DialogBoxParamA(dialogs::ResourceModule(), "DIALOG", nullptr, BareProc, 0); }));
    shown.push_back(TimeToFirstPaint([&] { dialogs::ShowDialog(input); }));
  }
  Report("bare DialogBoxParamA", bare);
  Report("ShowDialog", shown);
  std::sort(bare.begin(), bare.end());
  std::sort(shown.begin(), shown.end());
  std::printf("median ratio ShowDialog / bare: %.2f (goal <= 3)\n", shown[10] / bare[10]);
  bench::Figure("exception dialog, to first paint (median)", bench::Format("%.2f ms", shown[10]),
                "ShowDialog/bare <= 3",
                bench::Format("ShowDialog/bare %.2f", shown[10] / bare[10]));

  // The detailed view with 100 modules and 50 call-stack rows.
  modules::TVantorModulesList list;
  for (int i = 0; i < 100; ++i) {
    auto m = std::make_unique<TVantorModuleInfo>();
    m->Handle = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x10000000 + i * 0x10000));
    m->FileName = "C:\\Windows\\system32\\module" + std::to_string(i) + ".dll";
    m->Description = "Module number " + std::to_string(i);
    m->Version = "5.1.2600." + std::to_string(i);
    m->FileSize = 100000 + i;
    list.Add(std::move(m));
  }
  input.Modules = &list;
  for (int i = 0; i < 50; ++i) {
    dialogs::TListRow row;
    row.Cells = {"00401000",
                 "prog.exe",
                 "Unit" + std::to_string(i) + ".pas",
                 "TClass",
                 "Method" + std::to_string(i),
                 std::to_string(100 + i)};
    input.CallStackRows.push_back(row);
  }
  std::vector<double> details, tabs;
  for (int i = 0; i < 5; ++i) {
    std::atomic<HWND> dialog{nullptr};
    std::thread worker([&] {
      PaintSeen = false;
      Painted = nullptr;
      CloseAfterPaint = false;
      HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, GetMessageHook, nullptr, GetCurrentThreadId());
      input.PageCreated = [&](int) {};
      dialogs::ShowDialog(input);
      UnhookWindowsHookEx(hook);
    });
    HWND d = nullptr;
    while (!(d = FindWindowA("#32770", "Error."))) Sleep(5);
    Sleep(200);
    LARGE_INTEGER a, b, c;
    QueryPerformanceCounter(&a);
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(4, BN_CLICKED), 0);
    QueryPerformanceCounter(&b);
    HWND tabControl = GetDlgItem(d, 1000);
    for (int tab : {1, 2}) {
      SendMessageA(tabControl, TCM_SETCURSEL, tab, 0);
      NMHDR change = {tabControl, 1000, static_cast<UINT>(TCN_SELCHANGE)};
      SendMessageA(d, WM_NOTIFY, 1000, reinterpret_cast<LPARAM>(&change));
    }
    QueryPerformanceCounter(&c);
    details.push_back(Ms(a, b));
    tabs.push_back(Ms(b, c) / 2);
    PostMessageA(d, WM_COMMAND, IDCANCEL, 0);
    worker.join();
    dialog.store(nullptr);
  }
  bench::Figure("exception dialog, switch to detailed view",
                bench::Format("%.2f ms", Report("switch to detailed view", details)), "", "");
  bench::Figure("exception dialog, fill a list page",
                bench::Format("%.2f ms", Report("fill a list page (50/100)", tabs)), "", "");

  // The portable size computation for a 300-line message.
  std::vector<dialogs::TExtent> lines(300, dialogs::TExtent{700, 13});
  dialogs::TCompactMetrics metrics{3, 3, 17, 1024, 768, {0, 0, 1024, 740}};
  LARGE_INTEGER a, b;
  QueryPerformanceCounter(&a);
  int sink = 0;
  for (int i = 0; i < 10000; ++i) {
    lines[i % 300].Width = 600 + i % 200;
    sink += dialogs::PlaceCompact(dialogs::CompactTextBlock(lines, 576), 34, metrics).Window.Height;
  }
  QueryPerformanceCounter(&b);
  std::printf("build width (300 lines)       %8.4f ms per call (%d)\n", Ms(a, b) / 10000, sink & 1);
  bench::Figure("exception dialog, size for 300 lines", bench::Format("%.4f ms", Ms(a, b) / 10000),
                "", "");
  return 0;
}
