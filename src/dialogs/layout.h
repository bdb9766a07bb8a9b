// Arithmetic of the exception dialog's two views: the checkbox area, the compact size and
// position computed from the message's measured lines, the control layout on every size change,
// the terminate button's threshold and the painted caption's gradient. Pixels throughout; no
// platform calls, so the rules are tested on the host.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vl::dialogs {

struct TRect {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  int Right() const { return Left + Width; }
  int Bottom() const { return Top + Height; }
  bool operator==(const TRect& o) const {
    return Left == o.Left && Top == o.Top && Width == o.Width && Height == o.Height;
  }
};

// Pixels below the buttons that hold the check boxes: 34 when both the send and the screenshot
// box are shown, else 20.
int CheckboxAreaHeight(bool sendAllowed, bool screenshotAllowed);

// The terminate/restart button appears from the exception after the threshold on.
bool ThirdButtonShown(bool showThirdButton, int32_t errorCount, int32_t thirdButtonAfter);

// The lines of a message: split at CR LF, a lone CR or a lone LF. An empty message is one empty
// line.
std::vector<std::string> SplitLines(const std::string& text);

struct TExtent {
  int Width = 0, Height = 0;
};

// The size of the compact view's text block. Lines wider than Available wrap: each adds its
// extra rows of height to the block (see the .cpp for the exact rule).
TExtent CompactTextBlock(const std::vector<TExtent>& lines, int available);

// What the compact placement needs from the system.
struct TCompactMetrics {
  int FrameWidth = 0;    // dialog frame, horizontal
  int FrameHeight = 0;   // dialog frame, vertical
  int SmallCaption = 0;  // tool-window caption height
  int ScreenWidth = 0;
  int ScreenHeight = 0;
  TRect WorkArea;  // the desktop without task bars; an empty rectangle = the screen
};

// Horizontal overhead of the compact view: the frame twice and 58 pixels of icon and margins.
int CompactOverhead(const TCompactMetrics& m);
// 640 minus the overhead: the widest text line that does not wrap.
int CompactAvailableWidth(const TCompactMetrics& m);

struct TCompactPlacement {
  TRect Window;  // outer rectangle
  TRect Label;   // message label, client coordinates
};

// Width = text width + overhead (at least 250); height = the base height plus the checkbox
// area; centred on the screen, then kept inside the work area so that the buttons stay
// reachable however long the message is.
TCompactPlacement PlaceCompact(const TExtent& text, int checkboxArea, const TCompactMetrics& m);

// Control rectangles for a client area of Width x Height. The label's rectangle applies in the
// detailed view only (the compact view sizes the label to its text).
struct TDialogLayout {
  TRect Tabs, Label, Ok, Terminate, Details, Send, Copy, Screenshot;
};
TDialogLayout LayoutControls(int width, int height, int checkboxArea);

// The caption's colour bands: for (height / 5) steps each of red, green and blue is multiplied
// by 0.96 (rounded to nearest, at most 255); band i is the caption shrunk by 2 * i pixels at top
// and bottom. Colours are Windows colour references (red in the low byte).
std::vector<uint32_t> CaptionGradient(uint32_t startColour, int captionHeight);

}  // namespace vl::dialogs
