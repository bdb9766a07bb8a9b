// A GUI program whose main form's window procedure raises while handling a message; the form's
// procedure is wrapped by the runtime's window-procedure guard. Its first argument names the
// error: "convert" (an EConvertError) or "abort" (the silent EAbort). The application's title
// is "Guarded Form Test". Exits 0 when the form has closed.
#include <windows.h>

#include "runtime/application.h"
#include "runtime/command_line.h"
#include "runtime/exceptions.h"
#include "runtime/system.h"

using namespace vl;

namespace {

constexpr UINT kRaise = WM_APP;
constexpr UINT kClose = WM_APP + 1;
std::string g_mode;

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRaise) {
    // Queued behind the error: the form closes once its error has been handled.
    PostMessageA(window, kClose, 0, 0);
    if (g_mode == "abort") throw EAbort();
    throw EConvertError("'<12x>' is not a valid integer value");
  }
  if (message == kClose) {
    DestroyWindow(window);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void MainBlock() {
  auto args = rtl::SplitCommandLine(GetCommandLineA());
  g_mode = args.size() > 1 ? args[1] : "convert";
  Forms::Application->Initialize();
  Forms::Application->SetTitle("Guarded Form Test");
  WNDCLASSA wc = {};
  wc.lpfnWndProc = Forms::GuardedWndProc<FormProc>;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "TGuardedForm";
  RegisterClassA(&wc);
  HWND form = CreateWindowExA(0, wc.lpszClassName, "Guarded form", WS_OVERLAPPEDWINDOW, 10, 10, 200,
                              100, nullptr, nullptr, wc.hInstance, nullptr);
  ShowWindow(form, SW_SHOWNORMAL);
  Forms::Application->MainForm = form;
  PostMessageA(form, kRaise, 0, 0);
  Forms::Application->Run();
}

}  // namespace

int main() { rtl::RunProgram(MainBlock); }
