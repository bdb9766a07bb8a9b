#include "dialogs/geometry.h"

#include <climits>

namespace vl::dialogs {

const char* const ProfileFileName = "VantorLog.ini";
const char* const ProfileSection = "Coordinates";

std::optional<int> ParseProfileNumber(const std::string& text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i == text.size()) return std::nullopt;
  long long value = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > INT_MAX || value < INT_MIN) return std::nullopt;
  return static_cast<int>(value);
}

namespace {
int PositiveOr(const std::string& text, int fallback) {
  auto v = ParseProfileNumber(text);
  return v && *v > 0 ? *v : fallback;
}
}  // namespace

TDetailedPlacement PlaceDetailed(const TSavedGeometry& saved, int screenWidth, int screenHeight,
                                 int checkboxArea) {
  const int width = PositiveOr(saved.Width, 640);
  const int height = PositiveOr(saved.Height, 385);
  int left = ParseProfileNumber(saved.Left).value_or((screenWidth - width) / 2);
  int top = ParseProfileNumber(saved.Top).value_or((screenHeight - height - checkboxArea) / 2);
  // The whole window, checkbox area included, must end on the screen.
  if (static_cast<long long>(top) + height + checkboxArea > screenHeight)
    top = screenHeight - height - checkboxArea;
  if (static_cast<long long>(left) + width > screenWidth) left = screenWidth - width;
  if (left < 0) left = 0;
  if (top < 0) top = 0;
  TDetailedPlacement p;
  p.Window = {left, top, width, height + checkboxArea};
  p.State = ParseProfileNumber(saved.WindowsState).value_or(wsNormal) == wsMaximized ? wsMaximized
                                                                                     : wsNormal;
  return p;
}

int WindowStateForSizeKind(unsigned sizeKind) {
  switch (sizeKind) {
    case 1:
      return wsMinimized;
    case 2:
      return wsMaximized;
    default:
      return wsNormal;
  }
}

std::optional<std::array<TProfileEntry, 5>> GeometryToSave(const TGeometryRecord& r,
                                                           int checkboxArea) {
  if (r.Width == 0) return std::nullopt;
  return std::array<TProfileEntry, 5>{{{"Width", std::to_string(r.Width)},
                                       {"Height", std::to_string(r.Height - checkboxArea)},
                                       {"Left", std::to_string(r.Left)},
                                       {"Top", std::to_string(r.Top)},
                                       {"WindowsState", std::to_string(r.State)}}};
}

std::string ColumnKey(TListKind kind, int column) {
  return (kind == TListKind::CallStack ? "Col" : "ColMod") + std::to_string(column);
}

int DefaultColumnWidth(TListKind kind, int column) {
  static const int stack[ColumnCount] = {80, 102, 105, 118, 137, 48};
  static const int modules[ColumnCount] = {80, 100, 130, 65, 65, 150};
  if (column < 0 || column >= ColumnCount) return 0;
  return kind == TListKind::CallStack ? stack[column] : modules[column];
}

int ColumnWidthFromProfile(TListKind kind, int column, const std::string& stored) {
  auto v = ParseProfileNumber(stored);
  return v && *v >= 0 ? *v : DefaultColumnWidth(kind, column);
}

}  // namespace vl::dialogs
