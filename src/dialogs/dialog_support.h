// What the crash reporter's three dialogs share: the module that holds their templates, the
// three fonts and two brushes, the painted caption and frame, the profile file, and the guard
// that keeps every exception inside a dialog procedure.
#pragma once

#include <windows.h>

#include <string>

#include "dialogs/dialog_input.h"
#include "runtime/exceptions.h"

namespace vl::dialogs {

// The module whose resources hold the templates and bitmaps: the one that contains this code.
HINSTANCE ResourceModule();

// True when the template Name exists in the resource module.
bool HasDialogTemplate(const char* name);

// The caption, message and fixed fonts: created when a dialog initialises, deleted with it.
class TDialogFonts {
 public:
  TDialogFonts() = default;
  ~TDialogFonts() { Destroy(); }
  TDialogFonts(const TDialogFonts&) = delete;
  TDialogFonts& operator=(const TDialogFonts&) = delete;
  void Create();
  void Destroy();
  HFONT Caption = nullptr;  // painted caption text (bold)
  HFONT Message = nullptr;  // labels, buttons, check boxes, tabs
  HFONT Fixed = nullptr;    // memo and list pages, the request's text
};

// Face names and fixed-font size for a character set: Western (or unknown) gets Verdana and
// Lucida Console at 8 points, others MS Sans Serif and Courier New at 10.
struct TFontChoice {
  const char* CaptionFace;
  const char* FixedFace;
  int FixedPoints;
};
TFontChoice FontChoiceFor(BYTE charset);

// The grey background (212, 208, 200) and white.
constexpr COLORREF GreyColour = RGB(212, 208, 200);

// The painted look of one dialog's frame and caption.
struct TLookState {
  bool On = true;          // PaintedDialogs
  bool Active = true;      // caption active
  bool FullFrame = false;  // the detailed view frames the inner rectangle too
  HFONT CaptionFont = nullptr;
};
// Handles WM_NCPAINT and WM_NCACTIVATE when the look is on: paints the frame and caption and
// answers (through DWLP_MSGRESULT). Returns false for other messages or with the look off.
bool HandleLookMessage(HWND dialog, UINT message, WPARAM wParam, TLookState& look);
void PaintFrame(HWND dialog, const TLookState& look);

// Sets a control's font without redrawing.
void SetControlFont(HWND dialog, int id, HFONT font);
std::string WindowText(HWND window);

// Answers a dialog message with Value (DWLP_MSGRESULT) and returns TRUE.
INT_PTR Answer(HWND dialog, LONG_PTR value);

// Fills Failure from the exception being handled (call inside a catch block): class name and
// message of a runtime or standard exception, "Unknown" otherwise. The first failure is kept.
void CaptureFailure(TDialogFailure& failure, const char* where);

// Raised inside the dialogs for a failed system call; caught by the dialog's own guard.
class EDialogError : public Exception {
 public:
  using Exception::Exception;
};
// "Call failed, system error N."
std::string LastErrorText(const char* call);

// Registers the common-control window classes the templates use (tabs, lists, progress bar).
void EnsureCommonControls();

// The profile file "VantorLog.ini", section "Coordinates". Reads give "" for an absent key;
// write failures are ignored.
std::string ReadProfileValue(const char* key);
void WriteProfileValue(const char* key, const std::string& value);

// Closes a dialog that was never painted at its first timer tick (one per dialog thread).
constexpr UINT_PTR FirstTickTimer = 1;

}  // namespace vl::dialogs
