#include "dialogs/dialog_support.h"

#include <commctrl.h>

#include <exception>
#include <typeinfo>

#include "dialogs/geometry.h"
#include "dialogs/layout.h"
#include "platform/default_charset.h"
#include "platform/module_file.h"
#include "runtime/class_names.h"
#include "runtime/exceptions.h"

namespace vl::dialogs {

// The dialog templates are linked into the module that carries the crash reporter.
HINSTANCE ResourceModule() { return platform::CrashReporterModule(); }

bool HasDialogTemplate(const char* name) {
  return FindResourceA(ResourceModule(), name, MAKEINTRESOURCEA(5) /* RT_DIALOG */) != nullptr;
}

TFontChoice FontChoiceFor(BYTE charset) {
  if (charset == ANSI_CHARSET || charset == DEFAULT_CHARSET)
    return {"Verdana", "Lucida Console", 8};
  return {"MS Sans Serif", "Courier New", 10};
}

void TDialogFonts::Create() {
  Destroy();
  TFontChoice choice = FontChoiceFor(platform::GetDefaultCharset());
  // The XP-sized structure (the build's WINVER): newer fields would make the call fail on
  // older systems.
  NONCLIENTMETRICSA metrics = {};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof(LOGFONTA), &metrics.lfMessageFont);
    metrics.lfCaptionFont = metrics.lfMessageFont;
  }
  Caption = CreateFontA(metrics.lfCaptionFont.lfHeight, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                        DEFAULT_CHARSET, OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, DRAFT_QUALITY,
                        VARIABLE_PITCH, choice.CaptionFace);
  Message = CreateFontIndirectA(&metrics.lfMessageFont);
  HDC screen = GetDC(nullptr);
  int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  Fixed = CreateFontA(-MulDiv(choice.FixedPoints, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                      DEFAULT_CHARSET, OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, DRAFT_QUALITY,
                      FIXED_PITCH | FF_MODERN, choice.FixedFace);
}

void TDialogFonts::Destroy() {
  for (HFONT* f : {&Caption, &Message, &Fixed}) {
    if (*f) DeleteObject(*f);
    *f = nullptr;
  }
}

namespace {

void FillRectColour(HDC dc, const RECT& r, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

void FrameRectColour(HDC dc, const RECT& r, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  FrameRect(dc, &r, brush);
  DeleteObject(brush);
}

}  // namespace

void PaintFrame(HWND dialog, const TLookState& look) {
  HDC dc = GetWindowDC(dialog);
  if (!dc) return;
  RECT window;
  GetWindowRect(dialog, &window);
  OffsetRect(&window, -window.left, -window.top);
  const int fx = GetSystemMetrics(SM_CXDLGFRAME) - 1;
  const int fy = GetSystemMetrics(SM_CYDLGFRAME) - 1;
  RECT inner = window;
  InflateRect(&inner, -fx, -fy);
  RECT caption = {window.left + fx + 1, window.top + fy + 1, window.right - fx - 1, 0};
  caption.bottom = caption.top + GetSystemMetrics(SM_CYSMCAPTION) - 1;
  RECT captionBox = inner;
  captionBox.bottom = caption.bottom + 1;

  const COLORREF frame = look.Active ? 0x404040 : 0x303030;
  const COLORREF border = look.Active ? 0x808080 : 0x606060;
  const COLORREF start = look.Active ? 0xC29B82 : 0x979797;

  RECT band = caption;
  for (uint32_t colour : CaptionGradient(start, caption.bottom - caption.top)) {
    FillRectColour(dc, band, colour);
    band.top += 2;
    band.bottom -= 2;
    if (band.bottom <= band.top) break;
  }

  FrameRectColour(dc, window, frame);
  if (look.FullFrame) {
    FrameRectColour(dc, captionBox, frame);
    FrameRectColour(dc, inner, frame);
  } else {
    RECT box = captionBox;
    box.bottom -= 1;
    FrameRectColour(dc, box, frame);
  }
  // The border strips between the one-pixel outer frame and the inner rectangle.
  RECT strips[4] = {
      {window.left + 1, window.top + 1, inner.left, window.bottom - 1},
      {window.left + 1, window.top + 1, window.right - 1, inner.top},
      {window.left + 1, inner.bottom, window.right - 1, window.bottom - 1},
      {inner.right, window.top + 1, window.right - 1, window.bottom - 1},
  };
  for (const RECT& s : strips)
    if (s.right > s.left && s.bottom > s.top) FillRectColour(dc, s, border);

  std::string text = WindowText(dialog);
  HGDIOBJ oldFont = look.CaptionFont ? SelectObject(dc, look.CaptionFont) : nullptr;
  SetBkMode(dc, TRANSPARENT);
  auto draw = [&](int dx, COLORREF colour) {
    RECT r = caption;
    r.left += dx;
    SetTextColor(dc, colour);
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r,
              DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX);
  };
  if (look.Active) {
    draw(5, 0x222222);
    draw(4, RGB(255, 255, 255));
  } else {
    draw(4, 0xE0E0E0);
  }
  if (oldFont) SelectObject(dc, oldFont);
  ReleaseDC(dialog, dc);
}

bool HandleLookMessage(HWND dialog, UINT message, WPARAM wParam, TLookState& look) {
  if (!look.On) return false;
  if (message == WM_NCPAINT) {
    PaintFrame(dialog, look);
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 0);
    return true;
  }
  if (message == WM_NCACTIVATE) {
    look.Active = wParam != FALSE;
    PaintFrame(dialog, look);
    // TRUE lets the activation change go ahead.
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
    return true;
  }
  return false;
}

void SetControlFont(HWND dialog, int id, HFONT font) {
  if (font) SendDlgItemMessageA(dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

std::string WindowText(HWND window) {
  int length = GetWindowTextLengthA(window);
  std::string text(static_cast<size_t>(length < 0 ? 0 : length) + 1, '\0');
  int got = GetWindowTextA(window, &text[0], static_cast<int>(text.size()));
  text.resize(got < 0 ? 0 : static_cast<size_t>(got));
  return text;
}

INT_PTR Answer(HWND dialog, LONG_PTR value) {
  SetWindowLongPtrA(dialog, DWLP_MSGRESULT, value);
  return TRUE;
}

void CaptureFailure(TDialogFailure& failure, const char* where) {
  if (failure.Failed) return;
  failure.Failed = true;
  try {
    const std::type_info* type = rtl::CurrentExceptionType();
    failure.ClassName = type ? rtl::ClassName(*type) : "Unknown";
    try {
      throw;
    } catch (const std::exception& e) {
      failure.Message = e.what();
    } catch (...) {
      failure.Message = std::string("Unknown exception in ") + where + ".";
    }
  } catch (...) {
    // Out of memory while describing: the flag is enough.
  }
}

std::string LastErrorText(const char* call) {
  return std::string(call) + " failed, system error " + std::to_string(GetLastError()) + ".";
}

void EnsureCommonControls() {
  INITCOMMONCONTROLSEX controls = {sizeof controls,
                                   ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
}

std::string ReadProfileValue(const char* key) {
  char buffer[2048];
  GetPrivateProfileStringA(ProfileSection, key, "", buffer, sizeof buffer, ProfileFileName);
  return buffer;
}

void WriteProfileValue(const char* key, const std::string& value) {
  WritePrivateProfileStringA(ProfileSection, key, value.c_str(), ProfileFileName);
}

}  // namespace vl::dialogs
