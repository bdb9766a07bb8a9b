// A GUI program that carries the crash reporter; its first argument says what goes wrong:
//   dialog  an exception escapes the main block: the exception dialog is shown
//   form    a form's message handler raises (TellUser off): the report is logged instead of
//           the framework's own message box; "framework handled" is printed if the framework
//           got the exception anyway; the program ends itself, exit code 0
//   freeze  the main thread stops answering for 3 s inside FrozenInSample (watchdog 1 s,
//           TellUser off), then the program ends, exit code 0
//   freezedialog  as freeze, with TellUser on: the watchdog's dialog, owned by no window,
//           waits for the user while the main thread runs on
#include <windows.h>

#include <cstdio>
#include <string>

#include "core/module_options.h"
#include "pipeline/pipeline_state.h"
#include "runtime/application.h"
#include "runtime/exceptions.h"
#include "runtime/system.h"

using namespace vl;

namespace sample {

std::string g_mode;
volatile uintptr_t g_sink = 0;

__attribute__((noinline)) void FailInDialogSample() {
  throw Exception("The sample failed & stopped.");
}

__attribute__((noipa)) void FrozenInSample(DWORD ms) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) g_sink = g_sink + 1;
}

__attribute__((noinline)) void FailInHandler() {
  throw EConvertError("The form's handler failed.");
}

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_USER) FailInHandler();
  if (message == WM_TIMER) {
    KillTimer(window, 1);
    DestroyWindow(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, w, l);
}

HWND CreateForm() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = Forms::GuardedWndProc<FormProc>;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "GuiSampleForm";
  RegisterClassA(&wc);
  return CreateWindowA("GuiSampleForm", "Gui Sample", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300,
                       200, nullptr, nullptr, wc.hInstance, nullptr);
}

void Pump(DWORD ms) {
  const DWORD start = GetTickCount();
  MSG msg;
  while (GetTickCount() - start < ms) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(10);
  }
}

void MainBlock() {
  if (g_mode == "dialog") {
    FailInDialogSample();
  } else if (g_mode == "form") {
    pipeline::CurrentVantorLogOptions()->SetTellUser(false);
    Forms::Application->SetTitle("Gui Sample");
    Forms::Application->OnException = [](void*, std::exception_ptr) {
      std::printf("framework handled\n");
      std::fflush(stdout);
    };
    HWND form = CreateForm();
    Forms::Application->MainForm = form;
    PostMessageA(form, WM_USER, 0, 0);
    SetTimer(form, 1, 1000, nullptr);
    Forms::Application->Run();
  } else if (g_mode == "freeze" || g_mode == "freezedialog") {
    TVantorModuleOptionsEx* options = pipeline::CurrentVantorLogOptions();
    options->SetTellUser(g_mode == "freezedialog");
    options->SetWatchdogSeconds(1);
    options->SetWatchdogOn(true);
    HWND form = CreateForm();
    Pump(500);
    FrozenInSample(3000);
    Pump(1500);
    // With the dialog: the program goes on until the report is done.
    while (g_mode == "freezedialog" && pipeline::State().ErrorCount == 0) Pump(100);
    Pump(200);
    while (pipeline::State().CurrentExceptionRecord) Pump(100);
    DestroyWindow(form);
  }
}

}  // namespace sample

int main(int argc, char** argv) {
  sample::g_mode = argc > 1 ? argv[1] : "dialog";
  rtl::RunProgram(sample::MainBlock);
}
