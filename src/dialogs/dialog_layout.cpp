#include "dialogs/dialog_layout.h"

#include <algorithm>
#include <climits>

namespace dialogs {

const std::vector<int> kCallStackColumnDefaults = {80, 102, 105, 118, 137, 48};
const std::vector<int> kModuleColumnDefaults = {80, 100, 130, 65, 65, 150};

int CheckboxAreaHeight(bool sendAllowed, bool screenshotAllowed) {
  return sendAllowed && screenshotAllowed ? 34 : 20;
}

bool ShowTerminateButton(bool showThirdButton, int errorCount, int thirdButtonAfter) {
  return showThirdButton && errorCount > thirdButtonAfter;
}

std::vector<std::string> MessageLines(const std::string& message) {
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < message.size(); ++i) {
    char c = message[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n') ++i;
      lines.emplace_back();
    } else {
      lines.back() += c;
    }
  }
  return lines;
}

TCompactLayout CompactDialogLayout(const std::vector<TTextExtent>& lines,
                                   const TScreenMetrics& screen, int checkboxAreaHeight) {
  const int overhead = 2 * screen.FrameWidth + 58;
  const int available = 640 - overhead;
  int w = 0, h = 0;
  for (const TTextExtent& line : lines) {
    if (line.Width > w) {
      w = line.Width + 16;
      if (w > available) {
        h += ((w - available) / available + 1) * line.Height;
        w = available;
      }
    }
    h += line.Height;
  }
  const int width = std::max(w + overhead, 250);
  int base = std::max(h - 39, 0) + 2 * screen.FrameHeight + screen.SmallCaptionHeight + 86;
  int labelHeight = h;

  // Keep the buttons reachable: a window taller than the work area loses label height.
  const TRect& work = screen.WorkArea;
  if (work.Height > 0 && base + checkboxAreaHeight > work.Height) {
    int excess = base + checkboxAreaHeight - work.Height;
    base -= excess;
    labelHeight = std::max(labelHeight - excess, 0);
  }

  TCompactLayout out;
  out.Window.Width = width;
  out.Window.Height = base + checkboxAreaHeight;
  out.Window.Left = (screen.ScreenWidth - width) / 2;
  out.Window.Top = (screen.ScreenHeight - base) / 2;
  if (work.Width > 0 && work.Height > 0) {
    out.Window.Left =
        std::max(std::min(out.Window.Left, work.Left + work.Width - width), work.Left);
    out.Window.Top =
        std::max(std::min(out.Window.Top, work.Top + work.Height - out.Window.Height), work.Top);
  }
  out.Label = {48, 8, width - overhead, labelHeight};
  return out;
}

TControlLayout ControlLayout(int w, int h, int b) {
  const int y = h - 32 - b;
  const int half = w / 2 - 4;
  TControlLayout c;
  c.Tabs = {4, 52, w - 8, h - 90 - b};
  c.Label = {48, 8, w - 56, 42};
  c.OkButton = {(w - 75) / 2, y, 75, 25};
  c.KillButton = {5, y, 75, 25};
  c.SendBox = {4, y + 34, half, 13};
  c.CopyBox = {w - half - 4, y + 34, half, 13};
  c.ScreenshotBox = {23, y + 50, w - 23, 13};
  c.DetailsButton = {w - 80, y, 75, 25};
  return c;
}

bool TryDecimal(const std::string& text, int& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  long long n = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    n = n * 10 + (text[i] - '0');
    if (n > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (negative) n = -n;
  if (n > INT_MAX || n < INT_MIN) return false;
  value = static_cast<int>(n);
  return true;
}

int ProfileNumber(const std::string& text, int defaultValue) {
  int value = 0;
  return TryDecimal(text, value) ? value : defaultValue;
}

TDetailedGeometry DetailedGeometry(const TProfileGeometry& saved, int screenWidth, int screenHeight,
                                   int checkboxAreaHeight) {
  TDetailedGeometry g;
  g.Width = ProfileNumber(saved.Width, 640);
  if (g.Width <= 0) g.Width = 640;
  g.Height = ProfileNumber(saved.Height, 385);
  if (g.Height <= 0) g.Height = 385;
  g.Left = ProfileNumber(saved.Left, (screenWidth - g.Width) / 2);
  g.Top = ProfileNumber(saved.Top, (screenHeight - g.Height - checkboxAreaHeight) / 2);
  // The whole window, check-box area included, ends on the screen.
  if (static_cast<long long>(g.Top) + g.Height + checkboxAreaHeight > screenHeight)
    g.Top = screenHeight - g.Height - checkboxAreaHeight;
  if (static_cast<long long>(g.Left) + g.Width > screenWidth) g.Left = screenWidth - g.Width;
  if (g.Left < 0) g.Left = 0;
  if (g.Top < 0) g.Top = 0;
  int state = ProfileNumber(saved.WindowsState, wsNormal);
  g.State = state == wsMaximized ? wsMaximized : wsNormal;
  return g;
}

std::vector<int> ColumnWidths(const std::vector<std::string>& saved,
                              const std::vector<int>& defaults) {
  std::vector<int> widths = defaults;
  for (size_t i = 0; i < widths.size() && i < saved.size(); ++i) {
    int w = ProfileNumber(saved[i], defaults[i]);
    widths[i] = w < 0 ? defaults[i] : w;
  }
  return widths;
}

}  // namespace dialogs
