#include "dialogs/exception_dialog.h"

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/internal_errors.h"
#include "core/trace.h"
#include "dialogs/exception_dialog_state.h"
#include "dialogs/layout.h"
#include "runtime/exceptions.h"

namespace vl::dialogs {

namespace {

const char* const BitmapNames[BitmapCount] = {"DLL", "BPL", "VCL", "PAS", "MONITOR"};

std::string Text(const TExceptionDialogState& s, core::TVantorTextIndex index) {
  return s.O.TextTable(index);
}

void SetItemText(HWND dialog, int id, const std::string& text) {
  SetDlgItemTextA(dialog, id, text.c_str());
}

// Flat buttons and boxes belong to the painted look only.
void ApplyFlatStyle(TExceptionDialogState& s) {
  if (s.Look.On) return;
  for (int id :
       {idOkButton, idTerminateButton, idDetailsButton, idSendBox, idScreenshotBox, idCopyBox}) {
    HWND item = GetDlgItem(s.Dialog, id);
    if (!item) continue;
    LONG_PTR style = GetWindowLongPtrA(item, GWL_STYLE);
    SetWindowLongPtrA(item, GWL_STYLE, style & ~static_cast<LONG_PTR>(BS_FLAT));
  }
}

void SetFrameStyle(TExceptionDialogState& s, bool detailed) {
  LONG_PTR style = GetWindowLongPtrA(s.Dialog, GWL_STYLE);
  LONG_PTR sizing = WS_THICKFRAME | WS_MAXIMIZEBOX | (s.Look.On ? 0 : WS_SYSMENU);
  style = detailed ? (style | sizing) : (style & ~sizing);
  SetWindowLongPtrA(s.Dialog, GWL_STYLE, style);
  SetWindowPos(s.Dialog, nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

TExtent MeasureLine(HDC dc, const std::string& line) {
  SIZE size = {};
  // An empty line still takes a row: measure its height with a blank.
  const std::string& measured = line.empty() ? std::string(" ") : line;
  GetTextExtentPoint32A(dc, measured.c_str(), static_cast<int>(measured.size()), &size);
  return {line.empty() ? 0 : static_cast<int>(size.cx), static_cast<int>(size.cy)};
}

TCompactMetrics SystemMetrics() {
  TCompactMetrics m;
  m.FrameWidth = GetSystemMetrics(SM_CXDLGFRAME);
  m.FrameHeight = GetSystemMetrics(SM_CYDLGFRAME);
  m.SmallCaption = GetSystemMetrics(SM_CYSMCAPTION);
  m.ScreenWidth = GetSystemMetrics(SM_CXSCREEN);
  m.ScreenHeight = GetSystemMetrics(SM_CYSCREEN);
  RECT work;
  if (SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0))
    m.WorkArea = {work.left, work.top, work.right - work.left, work.bottom - work.top};
  return m;
}

void ShowCompactView(TExceptionDialogState& s) {
  HWND d = s.Dialog;
  SetFrameStyle(s, false);
  ApplyFlatStyle(s);
  SetItemText(d, idDetailsButton, Text(s, core::txDialogDetailsButton) + " >>");
  SetItemText(d, idMessageLabel, s.In.ErrorMessage);

  std::vector<std::string> lines = SplitLines(s.In.ErrorMessage);
  lines.push_back(Text(s, core::txDialogEmailMessage) + "    " +
                  Text(s, core::txDialogCopyMessage));
  std::vector<TExtent> extents;
  HDC dc = GetDC(d);
  if (!dc) throw EDialogError(LastErrorText("GetDC"));
  HGDIOBJ old = s.Fonts.Message ? SelectObject(dc, s.Fonts.Message) : nullptr;
  for (const std::string& line : lines) extents.push_back(MeasureLine(dc, line));
  if (old) SelectObject(dc, old);
  ReleaseDC(d, dc);

  TCompactMetrics metrics = SystemMetrics();
  TCompactPlacement p = PlaceCompact(CompactTextBlock(extents, CompactAvailableWidth(metrics)),
                                     s.CheckboxArea, metrics);
  ShowWindow(GetDlgItem(d, idTabs), SW_HIDE);
  WINDOWPLACEMENT placement = {};
  placement.length = sizeof placement;
  GetWindowPlacement(d, &placement);
  placement.showCmd = SW_SHOWNORMAL;
  placement.rcNormalPosition = {p.Window.Left, p.Window.Top, p.Window.Right(), p.Window.Bottom()};
  SetWindowPlacement(d, &placement);
  MoveWindow(GetDlgItem(d, idMessageLabel), p.Label.Left, p.Label.Top, p.Label.Width,
             p.Label.Height, TRUE);
}

void Place(HWND dialog, int id, const TRect& r) {
  if (HWND item = GetDlgItem(dialog, id)) MoveWindow(item, r.Left, r.Top, r.Width, r.Height, TRUE);
}

void Layout(TExceptionDialogState& s) {
  HWND d = s.Dialog;
  RECT client;
  GetClientRect(d, &client);
  TDialogLayout l = LayoutControls(client.right, client.bottom, s.CheckboxArea);
  Place(d, idTabs, l.Tabs);
  if (s.Detailed) Place(d, idMessageLabel, l.Label);
  Place(d, idOkButton, l.Ok);
  Place(d, idTerminateButton, l.Terminate);
  ShowWindow(GetDlgItem(d, idTerminateButton),
             ThirdButtonShown(s.O.ShowThirdButton(), s.In.ErrorCount, s.O.ThirdButtonAfter())
                 ? SW_SHOWNA
                 : SW_HIDE);
  ShowWindow(GetDlgItem(d, idSeparator), SW_HIDE);
  Place(d, idSendBox, l.Send);
  Place(d, idCopyBox, l.Copy);
  Place(d, idScreenshotBox, l.Screenshot);
  Place(d, idDetailsButton, l.Details);
  ShowWindow(GetDlgItem(d, idDetailsButton), SW_SHOWNA);
  const std::pair<int, core::TVantorTextIndex> boxes[] = {
      {idSendBox, core::txDialogEmailMessage},
      {idCopyBox, core::txDialogCopyMessage},
      {idScreenshotBox, core::txDialogScreenshotMessage}};
  for (const auto& box : boxes) {
    HWND item = GetDlgItem(d, box.first);
    if (WindowText(item) != Text(s, box.second)) SetWindowTextA(item, Text(s, box.second).c_str());
    SetControlFont(d, box.first, s.Fonts.Message);
  }
}

void RecordSize(TExceptionDialogState& s, WPARAM kind) {
  s.Record.State = WindowStateForSizeKind(static_cast<unsigned>(kind));
  if (s.Record.State == wsNormal) {
    RECT r;
    GetWindowRect(s.Dialog, &r);
    s.Record.Width = r.right - r.left;
    s.Record.Height = r.bottom - r.top;
  }
}

void RecordMove(TExceptionDialogState& s) {
  if (IsZoomed(s.Dialog) || IsIconic(s.Dialog)) return;
  RECT r;
  GetWindowRect(s.Dialog, &r);
  s.Record.Left = r.left;
  s.Record.Top = r.top;
}

void InitDialog(TExceptionDialogState& s) {
  HWND d = s.Dialog;
  // The box covers the mail and the upload alike: the user may keep either from going out.
  s.SendAllowed = (s.O.MailMode() != mmNone || !s.O.UploadUrl().empty()) && !s.In.IsDuplicate;
  s.ScreenshotAllowed = s.O.AddScreenshot();
  s.CheckboxArea = CheckboxAreaHeight(s.SendAllowed, s.ScreenshotAllowed);
  s.Look.On = s.O.PaintedDialogs();
  SetForegroundWindow(d);
  s.Detailed = false;

  HINSTANCE module = ResourceModule();
  for (int i = 0; i < BitmapCount; ++i) s.Bitmaps[i] = LoadBitmapA(module, BitmapNames[i]);
  BITMAP info = {};
  if (s.Bitmaps[bmMonitor] && GetObjectA(s.Bitmaps[bmMonitor], sizeof info, &info))
    s.MonitorSize = {info.bmWidth, info.bmHeight};
  s.Grey = CreateSolidBrush(GreyColour);
  s.White = CreateSolidBrush(RGB(255, 255, 255));
  s.Fonts.Create();
  s.Look.CaptionFont = s.Fonts.Caption;

  SetItemText(d, idOkButton, Text(s, core::txDialogOKButton));
  SetItemText(d, idTerminateButton,
              Text(s, s.O.ThirdButtonAction() != 0 ? core::txDialogRestartButton
                                                   : core::txDialogTerminateButton));
  for (int id : {idOkButton, idTerminateButton, idDetailsButton, idMessageLabel})
    SetControlFont(d, id, s.Fonts.Message);

  CheckDlgButton(d, idSendBox, s.Flags.SendRequested ? BST_CHECKED : BST_UNCHECKED);
  if (!s.SendAllowed) {
    ShowWindow(GetDlgItem(d, idSendBox), SW_HIDE);
    ShowWindow(GetDlgItem(d, idScreenshotBox), SW_HIDE);
  }
  if (!s.ScreenshotAllowed) ShowWindow(GetDlgItem(d, idScreenshotBox), SW_HIDE);
  CheckDlgButton(d, idScreenshotBox, s.Flags.ScreenshotRequested ? BST_CHECKED : BST_UNCHECKED);
  EnableWindow(GetDlgItem(d, idScreenshotBox), s.O.MailMode() != mmNone);
  CheckDlgButton(d, idCopyBox, BST_UNCHECKED);

  SetWindowTextA(d, Text(s, core::txDialogCaption).c_str());

  HWND tabs = GetDlgItem(d, idTabs);
  SetControlFont(d, idTabs, s.Fonts.Message);
  const core::TVantorTextIndex tabTexts[4] = {
      core::txDialogGeneralCaption, core::txDialogCallStackCaption,
      core::txDialogModulesListCaption, core::txDialogCPUCaption};
  for (int i = 0; i < 4; ++i) {
    std::string text = Text(s, tabTexts[i]);
    TCITEMA item = {};
    item.mask = TCIF_TEXT;
    item.pszText = &text[0];
    SendMessageA(tabs, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
  }
  int first = std::min<int>(s.O.FirstDetailsPage(), 3);
  SendMessageA(tabs, TCM_SETCURSEL, first, 0);
  SelectPage(s, first);

  SetFocus(GetDlgItem(d, idOkButton));
  ShowCompactView(s);
  SetTimer(d, FirstTickTimer, 1, nullptr);
}

void PaintIcon(TExceptionDialogState& s) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(s.Dialog, &ps);
  s.Painted = true;
  if (dc && s.Bitmaps[bmMonitor]) {
    HDC source = CreateCompatibleDC(dc);
    if (source) {
      HGDIOBJ old = SelectObject(source, s.Bitmaps[bmMonitor]);
      COLORREF transparent = GetPixel(source, 0, s.MonitorSize.cy - 1);
      TransparentBlt(dc, 8, 8, s.MonitorSize.cx, s.MonitorSize.cy, source, 0, 0, s.MonitorSize.cx,
                     s.MonitorSize.cy, transparent);
      SelectObject(source, old);
      DeleteDC(source);
    }
  }
  EndPaint(s.Dialog, &ps);
}

void DestroyDialog(TExceptionDialogState& s) {
  HWND d = s.Dialog;
  KillTimer(d, FirstTickTimer);
  s.Flags.SendRequested = IsDlgButtonChecked(d, idSendBox) == BST_CHECKED;
  s.Flags.ScreenshotRequested = IsDlgButtonChecked(d, idScreenshotBox) == BST_CHECKED;
  s.Flags.CopyToClipboardRequested = IsDlgButtonChecked(d, idCopyBox) == BST_CHECKED;
  DestroyPage(s);
  if (s.Detailed) SaveGeometry(s);
  s.Fonts.Destroy();
  for (HBRUSH* b : {&s.Grey, &s.White}) {
    if (*b) DeleteObject(*b);
    *b = nullptr;
  }
  for (HBITMAP& b : s.Bitmaps) {
    if (b) DeleteObject(b);
    b = nullptr;
  }
}

void Command(TExceptionDialogState& s, int id, int code) {
  switch (id) {
    case idOkButton:
      EndDialog(s.Dialog, idOkButton);
      break;
    case idTerminateButton:
      s.Flags.TerminateRequested = true;
      EndDialog(s.Dialog, idTerminateButton);
      break;
    case idDetailsButton:
      if (s.Detailed) SaveGeometry(s);
      s.Detailed = !s.Detailed;
      s.Look.FullFrame = s.Detailed;
      RedrawWindow(s.Dialog, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
      if (s.Detailed)
        ShowDetailedView(s);
      else
        ShowCompactView(s);
      break;
    case idSendBox:
      if (code == BN_CLICKED)
        EnableWindow(GetDlgItem(s.Dialog, idScreenshotBox),
                     IsDlgButtonChecked(s.Dialog, idSendBox) == BST_CHECKED);
      break;
    default:
      break;
  }
}

INT_PTR HandleMessage(TExceptionDialogState& s, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND d = s.Dialog;
  if (HandleLookMessage(d, message, wParam, s.Look)) return TRUE;
  switch (message) {
    case WM_INITDIALOG:
      InitDialog(s);
      return FALSE;  // the focus is set
    case WM_SIZE:
      RecordSize(s, wParam);
      Layout(s);
      FitPage(s);
      return TRUE;
    case WM_MOVE:
      RecordMove(s);
      return TRUE;
    case WM_PAINT:
      PaintIcon(s);
      return TRUE;
    case WM_TIMER:
      if (wParam == FirstTickTimer) {
        KillTimer(d, FirstTickTimer);
        if (!s.Painted) EndDialog(d, 0);
      }
      return TRUE;
    case WM_COMMAND:
      Command(s, LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_NOTIFY: {
      const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header && header->idFrom == idTabs && header->code == TCN_SELCHANGE) {
        SelectPage(s, static_cast<int>(SendDlgItemMessageA(d, idTabs, TCM_GETCURSEL, 0, 0)));
        return Answer(d, 0);
      }
      return FALSE;
    }
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORBTN:
      if (!s.Look.On) return FALSE;
      return reinterpret_cast<INT_PTR>(s.Grey);
    case WM_CTLCOLORSTATIC:
      if (!s.Look.On) return FALSE;
      SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
      return reinterpret_cast<INT_PTR>(s.Grey);
    case WM_DESTROY:
      DestroyDialog(s);
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* s = reinterpret_cast<TExceptionDialogState*>(GetWindowLongPtrA(dialog, DWLP_USER));
  if (message == WM_INITDIALOG) {
    s = reinterpret_cast<TExceptionDialogState*>(lParam);
    SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    s->Dialog = dialog;
  }
  if (!s) return FALSE;
  try {
    return HandleMessage(*s, message, wParam, lParam);
  } catch (...) {
    CaptureFailure(s->Failure, "the exception dialog");
    // WM_DESTROY failed part-way: the remaining clean-up must still run.
    if (message == WM_DESTROY) {
      try {
        s->Fonts.Destroy();
      } catch (...) {
      }
    } else {
      EndDialog(dialog, 0);
    }
    return TRUE;
  }
}

void CallHandler(const TDialogInput& input, const std::function<void()>& call) {
  try {
    if (input.CallOnExceptionThread)
      input.CallOnExceptionThread(call);
    else
      call();
  } catch (...) {
    // A handler's exception is swallowed, as every event handler's.
  }
}

}  // namespace

TShowDialogResult ShowDialog(const TDialogInput& input) {
  Trace("ShowDialog", {}, 2);
  TShowDialogResult result;
  result.Flags = input.Flags;
  if (!input.Options) {
    result.Failure = {true, "EInvalidArgument", "The dialog was given no options."};
    Trace("ShowDialog=", {false}, -2);
    return result;
  }
  EnsureCommonControls();
  HWND previous = GetForegroundWindow();
  MessageBeep(MB_ICONHAND);
  if (!HasDialogTemplate("DIALOG")) {
    result.Failure = {true, "EResNotFound", "Resource DIALOG not found."};
  } else {
    for (;;) {
      TExceptionDialogState state(input);
      state.Flags = result.Flags;
      INT_PTR answer = DialogBoxParamA(ResourceModule(), "DIALOG", nullptr, DialogProc,
                                       reinterpret_cast<LPARAM>(&state));
      result.Flags = state.Flags;
      result.Painted = state.Painted;
      if (state.Failure.Failed) {
        result.Failure = state.Failure;
        break;
      }
      if (!state.Painted) {
        (void)answer;
        MessageBoxA(nullptr, input.ErrorMessage.c_str(),
                    input.Options->TextTable(core::txDialogCaption).c_str(),
                    MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_TOPMOST | MB_SERVICE_NOTIFICATION);
      }
      if (!(result.Flags.TerminateRequested && input.AskTerminate)) break;
      bool terminate = result.Flags.TerminateRequested;
      CallHandler(input, [&] { input.AskTerminate(terminate); });
      result.Flags.TerminateRequested = terminate;
      if (terminate) break;
    }
    if (!result.Painted && !result.Failure.Failed)
      SetStepError(eeShowError, "Cannot show the DialogBox window.");
  }
  if (previous) SetForegroundWindow(previous);
  Trace("ShowDialog=", {!result.Failure.Failed}, -2);
  return result;
}

}  // namespace vl::dialogs
