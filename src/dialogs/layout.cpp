#include "dialogs/layout.h"

#include <algorithm>
#include <cmath>

namespace vl::dialogs {

int CheckboxAreaHeight(bool sendAllowed, bool screenshotAllowed) {
  return sendAllowed && screenshotAllowed ? 34 : 20;
}

bool ThirdButtonShown(bool showThirdButton, int32_t errorCount, int32_t thirdButtonAfter) {
  return showThirdButton && errorCount > thirdButtonAfter;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.emplace_back();
    } else {
      lines.back() += c;
    }
  }
  return lines;
}

TExtent CompactTextBlock(const std::vector<TExtent>& lines, int available) {
  // W tracks the widest line plus a margin of 16; a line that makes W exceed the available
  // width adds one row per started multiple of the available width and pins W there.
  TExtent block;
  if (available <= 0) available = 1;
  for (const TExtent& line : lines) {
    if (line.Width > block.Width) {
      block.Width = line.Width + 16;
      if (block.Width > available) {
        block.Height += ((block.Width - available) / available + 1) * line.Height;
        block.Width = available;
      }
    }
    block.Height += line.Height;
  }
  return block;
}

int CompactOverhead(const TCompactMetrics& m) { return 2 * m.FrameWidth + 58; }

int CompactAvailableWidth(const TCompactMetrics& m) { return 640 - CompactOverhead(m); }

TCompactPlacement PlaceCompact(const TExtent& text, int checkboxArea, const TCompactMetrics& m) {
  const int overhead = CompactOverhead(m);
  TCompactPlacement p;
  const int width = std::max(text.Width + overhead, 250);
  const int base = std::max(text.Height - 39, 0) + 2 * m.FrameHeight + m.SmallCaption + 86;
  p.Window = {(m.ScreenWidth - width) / 2, (m.ScreenHeight - base) / 2, width, base + checkboxArea};
  p.Label = {48, 8, width - overhead, text.Height};

  TRect work = m.WorkArea;
  if (work.Width <= 0 || work.Height <= 0) work = {0, 0, m.ScreenWidth, m.ScreenHeight};
  if (p.Window.Height > work.Height) {
    // Shorter window: the label keeps its place and loses its bottom rows.
    p.Label.Height = std::max(p.Label.Height - (p.Window.Height - work.Height), 0);
    p.Window.Height = work.Height;
  }
  if (p.Window.Width > work.Width) p.Window.Width = work.Width;
  if (p.Window.Bottom() > work.Bottom()) p.Window.Top = work.Bottom() - p.Window.Height;
  if (p.Window.Top < work.Top) p.Window.Top = work.Top;
  if (p.Window.Right() > work.Right()) p.Window.Left = work.Right() - p.Window.Width;
  if (p.Window.Left < work.Left) p.Window.Left = work.Left;
  return p;
}

TDialogLayout LayoutControls(int w, int h, int b) {
  TDialogLayout l;
  const int y = h - 32 - b;
  const int half = w / 2 - 4;
  l.Tabs = {4, 52, w - 8, h - 90 - b};
  l.Label = {48, 8, w - 56, 42};
  l.Ok = {(w - 75) / 2, y, 75, 25};
  l.Terminate = {5, y, 75, 25};
  l.Details = {w - 80, y, 75, 25};
  l.Send = {4, y + 34, half, 13};
  l.Copy = {w - half - 4, y + 34, half, 13};
  l.Screenshot = {23, y + 50, w - 23, 13};
  return l;
}

std::vector<uint32_t> CaptionGradient(uint32_t startColour, int captionHeight) {
  std::vector<uint32_t> bands;
  int r = startColour & 0xFF, g = (startColour >> 8) & 0xFF, b = (startColour >> 16) & 0xFF;
  auto scale = [](int c) { return std::min(255, static_cast<int>(std::lround(c * 0.96))); };
  for (int i = 0; i < captionHeight / 5; ++i) {
    r = scale(r);
    g = scale(g);
    b = scale(b);
    bands.push_back(static_cast<uint32_t>(r | (g << 8) | (b << 16)));
  }
  return bands;
}

}  // namespace vl::dialogs
