// The arithmetic of the crash reporter's dialogs, apart from any window: the compact dialog's
// size and place, the positions of its controls, the terminate threshold, and the detailed
// dialog's geometry from the profile. All figures are pixels.
#pragma once

#include <string>
#include <vector>

namespace dialogs {

struct TRect {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  bool operator==(const TRect& o) const {
    return Left == o.Left && Top == o.Top && Width == o.Width && Height == o.Height;
  }
};

// Height of the check-box area below the buttons: 34 with both the send and the screenshot box,
// else 20.
int CheckboxAreaHeight(bool sendAllowed, bool screenshotAllowed);

// The terminate/restart button is shown when it is switched on and this is a later exception
// than ThirdButtonAfter.
bool ShowTerminateButton(bool showThirdButton, int errorCount, int thirdButtonAfter);

// The lines of a message as they are measured: split at CR LF, LF or CR.
std::vector<std::string> MessageLines(const std::string& message);

// The measured extent of one text line in the message font.
struct TTextExtent {
  int Width = 0, Height = 0;
};

struct TScreenMetrics {
  int FrameWidth = 3, FrameHeight = 3;  // SM_CXFIXEDFRAME / SM_CYFIXEDFRAME
  int SmallCaptionHeight = 17;          // SM_CYSMCAPTION
  int ScreenWidth = 1024, ScreenHeight = 768;
  TRect WorkArea{0, 0, 1024, 768};  // the screen without the task bar
};

struct TCompactLayout {
  TRect Window;  // outer rectangle, check-box area included
  TRect Label;   // the message label (control 101), client coordinates
};

// The compact dialog for message lines of the given extents (the check-box line included by
// the caller): width from the widest line plus 16, wrapped at 640 pixels overall, at least 250
// wide, centred on the screen. The window is kept inside the work area: a message too tall for
// it gives a shorter label, never buttons off screen.
TCompactLayout CompactDialogLayout(const std::vector<TTextExtent>& lines,
                                   const TScreenMetrics& screen, int checkboxAreaHeight);

// Control rectangles for a client area of Width x Height with check-box area B, both views.
struct TControlLayout {
  TRect Tabs;           // 1000
  TRect Label;          // 101 (detailed view)
  TRect OkButton;       // 2
  TRect KillButton;     // 3
  TRect SendBox;        // 3000
  TRect CopyBox;        // 5000
  TRect ScreenshotBox;  // 4000
  TRect DetailsButton;  // 4
};
TControlLayout ControlLayout(int clientWidth, int clientHeight, int checkboxAreaHeight);

// ---- The detailed view's geometry, kept in the profile ----

// Window states kept in the profile.
enum TWindowState { wsNormal = 1, wsMaximized = 3, wsMinimized = 6 };

// Reads an optional sign and decimal digits that fit in 32 bits, and nothing else.
bool TryDecimal(const std::string& text, int& value);

// A profile value as a number: optional sign and decimal digits within 32 bits; anything else
// (empty, blanks, letters, overflow) gives Default.
int ProfileNumber(const std::string& text, int defaultValue);

// The raw "Coordinates" values as read (empty when missing).
struct TProfileGeometry {
  std::string Width, Height, Left, Top, WindowsState;
};

struct TDetailedGeometry {
  int Left = 0, Top = 0, Width = 640, Height = 385;  // Height without the check-box area
  TWindowState State = wsNormal;
};

// Defaults 640 x 385 centred; a width or height that is not positive is its default; the window
// (check-box area included) is moved up and left so that it ends on the screen, then never
// above or left of it. A saved minimized state opens normal (a minimized tool window cannot be
// brought back by the user); unknown states are normal.
TDetailedGeometry DetailedGeometry(const TProfileGeometry& saved, int screenWidth, int screenHeight,
                                   int checkboxAreaHeight);

// Column widths from "Col0".."Col5" (or "ColMod0".."ColMod5"); a bad value is its default.
std::vector<int> ColumnWidths(const std::vector<std::string>& saved,
                              const std::vector<int>& defaults);
extern const std::vector<int> kCallStackColumnDefaults;  // 80 102 105 118 137 48
extern const std::vector<int> kModuleColumnDefaults;     // 80 100 130 65 65 150

}  // namespace dialogs
