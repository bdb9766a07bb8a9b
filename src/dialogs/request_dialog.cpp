#include "dialogs/request_dialog.h"

#include <windows.h>

#include "core/trace.h"
#include "dialogs/cells.h"
#include "dialogs/dialog_support.h"

namespace vl::dialogs {

namespace {

enum : int { idPrompt = 100, idText = 101, idOk = 2 };

struct TRequestState {
  const TVantorModuleOptions* O = nullptr;
  TDialogFonts Fonts;
  TLookState Look;
  HBRUSH Grey = nullptr;
  bool Painted = false;
  std::string Text;
  TDialogFailure Failure;
};

INT_PTR Handle(TRequestState& s, HWND d, UINT message, WPARAM wParam, LPARAM lParam) {
  if (HandleLookMessage(d, message, wParam, s.Look)) return TRUE;
  switch (message) {
    case WM_INITDIALOG:
      s.Fonts.Create();
      s.Look.On = s.O->PaintedDialogs();
      s.Look.CaptionFont = s.Fonts.Caption;
      s.Grey = CreateSolidBrush(GreyColour);
      SetWindowTextA(d, s.O->TextTable(core::txReproduceCaption).c_str());
      SetDlgItemTextA(d, idPrompt, s.O->TextTable(core::txReproduceRequestMessage).c_str());
      SetDlgItemTextA(d, idOk, s.O->TextTable(core::txReproduceOKButton).c_str());
      SetControlFont(d, idPrompt, s.Fonts.Message);
      SetControlFont(d, idOk, s.Fonts.Message);
      SetControlFont(d, idText, s.Fonts.Fixed);
      SetTimer(d, FirstTickTimer, 1, nullptr);
      return TRUE;  // focus to the edit
    case WM_PAINT:
      s.Painted = true;
      return FALSE;
    case WM_TIMER:
      if (wParam == FirstTickTimer) {
        KillTimer(d, FirstTickTimer);
        if (!s.Painted) EndDialog(d, 0);
      }
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == idOk) {
        s.Text = TrimBlanks(WindowText(GetDlgItem(d, idText)));
        EndDialog(d, idOk);
      }
      return TRUE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORBTN:
      return s.Look.On ? reinterpret_cast<INT_PTR>(s.Grey) : FALSE;
    case WM_CTLCOLORSTATIC:
      if (!s.Look.On) return FALSE;
      SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
      return reinterpret_cast<INT_PTR>(s.Grey);
    case WM_DESTROY:
      KillTimer(d, FirstTickTimer);
      s.Fonts.Destroy();
      if (s.Grey) DeleteObject(s.Grey);
      s.Grey = nullptr;
      return TRUE;
    default:
      (void)lParam;
      return FALSE;
  }
}

INT_PTR CALLBACK RequestProc(HWND d, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* s = reinterpret_cast<TRequestState*>(GetWindowLongPtrA(d, DWLP_USER));
  if (message == WM_INITDIALOG) {
    s = reinterpret_cast<TRequestState*>(lParam);
    SetWindowLongPtrA(d, DWLP_USER, lParam);
  }
  if (!s) return FALSE;
  try {
    return Handle(*s, d, message, wParam, lParam);
  } catch (...) {
    CaptureFailure(s->Failure, "the request dialog");
    if (message != WM_DESTROY) EndDialog(d, 0);
    return TRUE;
  }
}

}  // namespace

bool RequestDialogWanted(const TDialogInput& input) {
  const TVantorModuleOptions* o = input.Options;
  return o && (o->HandlingFlags() & hfAskSteps) && input.Host == THostKind::Gui &&
         !input.IsDuplicate && (o->MailMode() != mmNone || o->AppendToLog());
}

TRequestResult ShowRequestDialog(const TDialogInput& input) {
  Trace("ShowRequestDialog", {}, 2);
  TRequestResult result;
  if (RequestDialogWanted(input)) {
    result.Shown = true;
    if (!HasDialogTemplate("REQUEST")) {
      result.Failure = {true, "EResNotFound", "Resource REQUEST not found."};
    } else {
      EnsureCommonControls();
      TRequestState state;
      state.O = input.Options;
      DialogBoxParamA(ResourceModule(), "REQUEST", nullptr, RequestProc,
                      reinterpret_cast<LPARAM>(&state));
      result.ReproductionText = state.Text;
      result.Failure = state.Failure;
    }
  }
  Trace("ShowRequestDialog=", {result.ReproductionText}, -2);
  return result;
}

}  // namespace vl::dialogs
