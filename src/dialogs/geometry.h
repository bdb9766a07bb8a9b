// The detailed view's saved geometry and list column widths ("VantorLog.ini", section
// "Coordinates"): the key names, the defaults, reading the stored decimal strings, and placing
// the window on the screen. No platform calls: the Windows side reads and writes the strings.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "dialogs/layout.h"

namespace vl::dialogs {

extern const char* const ProfileFileName;  // "VantorLog.ini"
extern const char* const ProfileSection;   // "Coordinates"

// A stored decimal number: optional sign, digits, within 32 bits, nothing else (no blanks).
std::optional<int> ParseProfileNumber(const std::string& text);

// Window states as stored.
enum : int { wsNormal = 1, wsMaximized = 3, wsMinimized = 6 };

// The raw profile values; an absent key is an empty string.
struct TSavedGeometry {
  std::string Width, Height, Left, Top, WindowsState;
};

struct TDetailedPlacement {
  TRect Window;          // outer rectangle, checkbox area included
  int State = wsNormal;  // wsNormal or wsMaximized: a saved minimized state opens normal
};

// Width/Height default to 640/385 (also when not positive); Left/Top to the centre; a window
// that would reach below or right of the screen is moved up or left so that all of it (the
// checkbox area included) is on screen, and negative coordinates become 0.
TDetailedPlacement PlaceDetailed(const TSavedGeometry& saved, int screenWidth, int screenHeight,
                                 int checkboxArea);

// The window state recorded for a size change of the given kind (the system's SIZE_* value:
// 1 minimized, 2 maximized, anything else normal).
int WindowStateForSizeKind(unsigned sizeKind);

// What is written back: the recorded outer size and position, the height without the
// checkbox area. Empty when no width was recorded.
struct TGeometryRecord {
  int Width = 0, Height = 0, Left = 0, Top = 0, State = wsNormal;
};
struct TProfileEntry {
  const char* Key;
  std::string Value;
};
std::optional<std::array<TProfileEntry, 5>> GeometryToSave(const TGeometryRecord& record,
                                                           int checkboxArea);

// Column widths of the two lists.
enum class TListKind { CallStack, Modules };
constexpr int ColumnCount = 6;
// "Col0".."Col5" or "ColMod0".."ColMod5".
std::string ColumnKey(TListKind kind, int column);
int DefaultColumnWidth(TListKind kind, int column);
// A stored width that is not a number or is negative gives the default.
int ColumnWidthFromProfile(TListKind kind, int column, const std::string& stored);

}  // namespace vl::dialogs
