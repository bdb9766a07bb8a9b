#include "dialogs/send_progress.h"

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <atomic>
#include <memory>
#include <mutex>

#include "core/internal_errors.h"
#include "core/trace.h"
#include "dialogs/cells.h"
#include "dialogs/dialog_support.h"
#include "runtime/thread.h"

namespace vl::dialogs {

namespace {

enum : int { idStatus = 100, idBar = 101 };
constexpr UINT WM_PROGRESS_SHOWN = WM_APP + 77;
// Posted by the sending thread: the state's status text, or its percentage, has changed.
constexpr UINT WM_PROGRESS_TEXT = WM_APP + 78;
constexpr UINT WM_PROGRESS_POSITION = WM_APP + 79;
constexpr DWORD StartTimeoutMs = 5000;

// Process-wide progress state. The sending thread never hands the dialog a pointer: it copies
// the status text in here and posts a note, and the dialog's thread copies it out, so a text
// freed by the sender (after a time-out, say) can never reach the window.
struct TProgressState {
  std::atomic<HWND> Window{nullptr};
  std::atomic<bool> Up{false};
  std::atomic<bool> ThreadRunning{false};
  std::atomic<int> Current{0};
  std::atomic<int> Count{0};
  std::atomic<int> Percent{0};  // what the bar shows, or is about to
  std::mutex Lock;              // guards MessageWord and Status
  std::string MessageWord;
  std::string Status;
};

TProgressState& Progress() {
  static TProgressState* state = new TProgressState;  // lives to the end of the process
  return *state;
}

// What the dialog's thread needs, copied before it starts.
struct TProgressDialogParams {
  std::string Caption;
  bool Look = true;
  TDialogFonts Fonts;
  TLookState LookState;
  HBRUSH Grey = nullptr;
  bool Painted = false;
  TDialogFailure Failure;
};

INT_PTR Handle(TProgressDialogParams& p, HWND d, UINT message, WPARAM wParam) {
  TProgressState& state = Progress();
  if (HandleLookMessage(d, message, wParam, p.LookState)) return TRUE;
  switch (message) {
    case WM_INITDIALOG:
      p.Fonts.Create();
      p.LookState.On = p.Look;
      p.LookState.CaptionFont = p.Fonts.Caption;
      p.Grey = CreateSolidBrush(GreyColour);
      state.Window.store(d);
      SetWindowTextA(d, p.Caption.c_str());
      SetControlFont(d, idStatus, p.Fonts.Message);
      SendDlgItemMessageA(d, idBar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
      // Up once shown, even if the focus goes to no window of ours.
      PostMessageA(d, WM_PROGRESS_SHOWN, 0, 0);
      SetTimer(d, FirstTickTimer, 1, nullptr);
      return TRUE;
    case WM_SETFOCUS:
    case WM_PROGRESS_SHOWN:
      state.Up.store(true);
      return message == WM_PROGRESS_SHOWN;
    case WM_PAINT:
      p.Painted = true;
      return FALSE;
    case WM_TIMER:
      if (wParam == FirstTickTimer) {
        KillTimer(d, FirstTickTimer);
        if (!p.Painted) EndDialog(d, 0);
      }
      return TRUE;
    case WM_PROGRESS_TEXT: {
      std::string text;
      {
        std::lock_guard<std::mutex> guard(state.Lock);
        text = state.Status;
      }
      SetDlgItemTextA(d, idStatus, text.c_str());
      return TRUE;
    }
    case WM_PROGRESS_POSITION:
      SendDlgItemMessageA(d, idBar, PBM_SETPOS, static_cast<WPARAM>(state.Percent.load()), 0);
      return TRUE;
    case WM_CLOSE_PROGRESS:
      EndDialog(d, 0);
      return TRUE;
    case WM_CTLCOLORDLG:
      return p.LookState.On ? reinterpret_cast<INT_PTR>(p.Grey) : FALSE;
    case WM_CTLCOLORSTATIC:
      if (!p.LookState.On) return FALSE;
      SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
      return reinterpret_cast<INT_PTR>(p.Grey);
    case WM_DESTROY:
      KillTimer(d, FirstTickTimer);
      p.Fonts.Destroy();
      if (p.Grey) DeleteObject(p.Grey);
      p.Grey = nullptr;
      return TRUE;
    case WM_NCDESTROY: {
      HWND expected = d;
      state.Window.compare_exchange_strong(expected, nullptr);
      return FALSE;
    }
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK ProgressProc(HWND d, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* p = reinterpret_cast<TProgressDialogParams*>(GetWindowLongPtrA(d, DWLP_USER));
  if (message == WM_INITDIALOG) {
    p = reinterpret_cast<TProgressDialogParams*>(lParam);
    SetWindowLongPtrA(d, DWLP_USER, lParam);
  }
  if (!p) return FALSE;
  try {
    return Handle(*p, d, message, wParam);
  } catch (...) {
    CaptureFailure(p->Failure, "the progress dialog");
    if (message != WM_DESTROY && message != WM_NCDESTROY) EndDialog(d, 0);
    if (message == WM_NCDESTROY) {
      HWND expected = d;
      Progress().Window.compare_exchange_strong(expected, nullptr);
    }
    return TRUE;
  }
}

}  // namespace

// The progress dialog's thread: runs the modal dialog and ends when it closes.
class TSMTPThread : public Classes::TThread {
 public:
  explicit TSMTPThread(std::unique_ptr<TProgressDialogParams> params)
      : Classes::TThread(true), FParams(std::move(params)) {}

 protected:
  void Execute() override {
    Trace("TSMTPThread.Execute", {}, 2);
    try {
      DialogBoxParamA(ResourceModule(), "SMTP", nullptr, ProgressProc,
                      reinterpret_cast<LPARAM>(FParams.get()));
    } catch (...) {
    }
    Progress().Window.store(nullptr);
    Progress().ThreadRunning.store(false);
    Trace("TSMTPThread.Execute=", {}, -2);
  }

 private:
  std::unique_ptr<TProgressDialogParams> FParams;
};

void InstallDialogSeams() { core::Seams().IsSmtpProgressShowing = &IsSendProgressShowing; }

bool StartSendProgress(const TVantorModuleOptions& options, THostKind host, bool upload) {
  Trace("StartSendProgress", {}, 2);
  InstallDialogSeams();
  TProgressState& state = Progress();
  state.Window.store(nullptr);
  state.Up.store(false);
  state.Current.store(0);
  state.Count.store(0);
  state.Percent.store(0);  // the bar of a new dialog
  {
    std::lock_guard<std::mutex> guard(state.Lock);
    state.MessageWord = options.TextTable(core::txSmtpMessage);
    state.Status.clear();
  }
  const bool smtp = upload || options.MailMode() == mmViaServer || options.MailMode() == mmDirect;
  if (!options.ShowSmtpProgress() || !smtp || host != THostKind::Gui ||
      !HasDialogTemplate("SMTP") || state.ThreadRunning.load()) {
    Trace("StartSendProgress=", {false}, -2);
    return false;
  }
  EnsureCommonControls();
  auto params = std::make_unique<TProgressDialogParams>();
  params->Caption = options.TextTable(core::txSmtpCaption);
  params->Look = options.PaintedDialogs();
  state.ThreadRunning.store(true);
  TSMTPThread* thread = nullptr;
  try {
    thread = Classes::TThread::Create<TSMTPThread>(std::move(params));
  } catch (...) {
    state.ThreadRunning.store(false);
    Trace("StartSendProgress=", {false}, -2);
    return false;
  }
  thread->FreeOnTerminate = true;
  thread->Resume();  // the object is the thread's own from here on
  const DWORD start = GetTickCount();
  while (!state.Up.load() && state.ThreadRunning.load() && GetTickCount() - start < StartTimeoutMs)
    Sleep(50);
  bool up = state.Up.load() && IsSendProgressShowing();
  Trace("StartSendProgress=", {up}, -2);
  return up;
}

void SetSendProgressRecipient(int current, int count) {
  Progress().Current.store(current);
  Progress().Count.store(count);
}

HWND SendProgressWindow() { return Progress().Window.load(); }

bool IsSendProgressShowing() {
  HWND window = Progress().Window.load();
  return window && IsWindow(window);
}

void SetSendProgressText(const std::string& step) {
  if (!IsSendProgressShowing()) return;
  TProgressState& state = Progress();
  {
    std::lock_guard<std::mutex> guard(state.Lock);
    state.Status =
        ProgressStatusText(state.MessageWord, state.Current.load(), state.Count.load(), step);
  }
  PostMessageA(state.Window.load(), WM_PROGRESS_TEXT, 0, 0);
}

void SetSendProgressPosition(int percent) {
  if (!IsSendProgressShowing()) return;
  // Only a new percentage is worth a message; the sender never waits for the dialog.
  if (Progress().Percent.exchange(percent) == percent) return;
  PostMessageA(Progress().Window.load(), WM_PROGRESS_POSITION, 0, 0);
}

void CloseSendProgress() {
  Trace("CloseSendProgress", {}, 2);
  // Posted behind the updates still queued, so the dialog shows them before it ends.
  if (IsSendProgressShowing()) PostMessageA(Progress().Window.load(), WM_CLOSE_PROGRESS, 0, 0);
  const DWORD start = GetTickCount();
  while (Progress().ThreadRunning.load() && GetTickCount() - start < StartTimeoutMs) Sleep(10);
  Trace("CloseSendProgress=", {}, -2);
}

}  // namespace vl::dialogs
