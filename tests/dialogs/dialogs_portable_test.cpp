// The dialogs' arithmetic and text rules, one table per rule.
#include <gtest/gtest.h>

#include <random>

#include "dialogs/cells.h"
#include "dialogs/geometry.h"
#include "dialogs/layout.h"

using namespace vl;

using namespace dialogs;

TEST(DialogLayout, CheckboxAreaAndThirdButton) {
  EXPECT_EQ(CheckboxAreaHeight(true, true), 34);
  EXPECT_EQ(CheckboxAreaHeight(true, false), 20);
  EXPECT_EQ(CheckboxAreaHeight(false, true), 20);
  EXPECT_EQ(CheckboxAreaHeight(false, false), 20);
  struct Case {
    bool show;
    int count, after;
    bool shown;
  } cases[] = {{true, 3, 3, false},
               {true, 4, 3, true},
               {false, 9, 3, false},
               {true, 1, 0, true},
               {true, 0, 0, false}};
  for (const Case& c : cases)
    EXPECT_EQ(ThirdButtonShown(c.show, c.count, c.after), c.shown) << c.count << " " << c.after;
}

TEST(DialogLayout, SplitLines) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitLines(""), V{""});
  EXPECT_EQ(SplitLines("a"), V{"a"});
  EXPECT_EQ(SplitLines("a\r\nb"), (V{"a", "b"}));
  EXPECT_EQ(SplitLines("a\nb\rc"), (V{"a", "b", "c"}));
  EXPECT_EQ(SplitLines("a\r\n"), (V{"a", ""}));
  EXPECT_EQ(SplitLines("\r\n\r\n"), (V{"", "", ""}));
}

TEST(DialogLayout, CompactTextBlockWrapsAtTheAvailableWidth) {
  const int available = 640 - (2 * 3 + 58);  // 576
  struct Case {
    std::vector<TExtent> lines;
    TExtent block;
  } cases[] = {
      {{{100, 13}}, {116, 13}},
      {{{100, 13}, {50, 13}}, {116, 26}},   // a narrower line keeps the width
      {{{100, 13}, {200, 13}}, {216, 26}},  // a wider one replaces it
      {{{560, 13}}, {576, 13}},             // 560 + 16 fits exactly
      {{{561, 13}}, {576, 26}},             // one pixel more wraps once
      {{{576 * 2 - 17, 13}}, {576, 26}},    // just under two widths: one extra row
      {{{576 * 2 - 16, 13}}, {576, 39}},    // two whole widths: two extra rows
      {{{0, 13}}, {0, 13}},                 // an empty line adds height only
      {{}, {0, 0}},
  };
  for (const Case& c : cases) {
    TExtent b = CompactTextBlock(c.lines, available);
    EXPECT_EQ(b.Width, c.block.Width);
    EXPECT_EQ(b.Height, c.block.Height);
  }
}

TEST(DialogLayout, CompactPlacement) {
  TCompactMetrics m;
  m.FrameWidth = 3;
  m.FrameHeight = 3;
  m.SmallCaption = 17;
  m.ScreenWidth = 1024;
  m.ScreenHeight = 768;
  const int overhead = 64;
  // Narrow text: at least 250 wide.
  TCompactPlacement p = PlaceCompact({100, 13}, 20, m);
  EXPECT_EQ(p.Window.Width, 250);
  const int base = 0 + 6 + 17 + 86;
  EXPECT_EQ(p.Window.Height, base + 20);
  EXPECT_EQ(p.Window.Left, (1024 - 250) / 2);
  EXPECT_EQ(p.Window.Top, (768 - base) / 2) << "centred without the checkbox area";
  EXPECT_EQ(p.Label, (TRect{48, 8, 250 - overhead, 13}));
  // Widest text: 640.
  p = PlaceCompact({576, 52}, 34, m);
  EXPECT_EQ(p.Window.Width, 640);
  EXPECT_EQ(p.Window.Height, (52 - 39) + 6 + 17 + 86 + 34);
  // Odd remainders round toward zero.
  m.ScreenWidth = 1023;
  p = PlaceCompact({300, 13}, 20, m);
  EXPECT_EQ(p.Window.Left, (1023 - 364) / 2);
}

TEST(DialogLayout, CompactPlacementStaysInTheWorkArea) {
  TCompactMetrics m;
  m.FrameWidth = 3;
  m.FrameHeight = 3;
  m.SmallCaption = 17;
  m.ScreenWidth = 1024;
  m.ScreenHeight = 768;
  m.WorkArea = {0, 0, 1024, 740};
  TCompactPlacement p = PlaceCompact({576, 13 * 200}, 34, m);
  EXPECT_EQ(p.Window.Height, 740);
  EXPECT_EQ(p.Window.Top, 0);
  EXPECT_LE(p.Window.Bottom(), 740);
  EXPECT_LT(p.Label.Height, 13 * 200);
  EXPECT_GE(p.Label.Height, 0);
  // A work area that starts below a task bar at the top.
  m.WorkArea = {0, 30, 1024, 738};
  p = PlaceCompact({576, 13 * 200}, 34, m);
  EXPECT_EQ(p.Window.Top, 30);
  EXPECT_EQ(p.Window.Bottom(), 768);
}

// Random messages: the window is always on screen and 250 to 640 wide.
TEST(DialogLayout, RandomLayoutsStayOnScreen) {
  std::mt19937 random(1234);
  for (int i = 0; i < 2000; ++i) {
    TCompactMetrics m;
    m.FrameWidth = 1 + static_cast<int>(random() % 5);
    m.FrameHeight = 1 + static_cast<int>(random() % 5);
    m.SmallCaption = 12 + static_cast<int>(random() % 12);
    m.ScreenWidth = 640 + static_cast<int>(random() % 1400);
    m.ScreenHeight = 480 + static_cast<int>(random() % 1000);
    std::vector<TExtent> lines(1 + random() % 60);
    for (TExtent& l : lines)
      l = {static_cast<int>(random() % 3000), 10 + static_cast<int>(random() % 10)};
    TExtent text = CompactTextBlock(lines, CompactAvailableWidth(m));
    TCompactPlacement p = PlaceCompact(text, (random() & 1) ? 34 : 20, m);
    ASSERT_GE(p.Window.Width, 250);
    ASSERT_LE(p.Window.Width, 640);
    ASSERT_GE(p.Window.Left, 0);
    ASSERT_GE(p.Window.Top, 0);
    ASSERT_LE(p.Window.Right(), m.ScreenWidth);
    ASSERT_LE(p.Window.Bottom(), m.ScreenHeight);
  }
}

TEST(DialogLayout, ControlsFollowTheClientArea) {
  TDialogLayout l = LayoutControls(600, 400, 34);
  const int y = 400 - 32 - 34;
  EXPECT_EQ(l.Tabs, (TRect{4, 52, 592, 400 - 90 - 34}));
  EXPECT_EQ(l.Label, (TRect{48, 8, 544, 42}));
  EXPECT_EQ(l.Ok, (TRect{(600 - 75) / 2, y, 75, 25}));
  EXPECT_EQ(l.Terminate, (TRect{5, y, 75, 25}));
  EXPECT_EQ(l.Details, (TRect{520, y, 75, 25}));
  EXPECT_EQ(l.Send, (TRect{4, y + 34, 296, 13}));
  EXPECT_EQ(l.Copy, (TRect{600 - 296 - 4, y + 34, 296, 13}));
  EXPECT_EQ(l.Screenshot, (TRect{23, y + 50, 577, 13}));
  l = LayoutControls(251, 150, 20);
  EXPECT_EQ(l.Ok.Left, 88) << "(251 - 75) / 2";
  EXPECT_EQ(l.Send.Width, 121) << "251 / 2 - 4";
}

TEST(DialogLayout, CaptionGradient) {
  // 0xC29B82: red 0x82, green 0x9B, blue 0xC2.
  std::vector<uint32_t> g = CaptionGradient(0xC29B82, 17);
  ASSERT_EQ(g.size(), 3u);
  EXPECT_EQ(g[0], 0xBA957Du) << "130*.96=124.8->125, 155*.96=148.8->149, 194*.96=186.24->186";
  EXPECT_EQ(g[1], 0xB38F78u);
  EXPECT_TRUE(CaptionGradient(0xFFFFFF, 4).empty());
  EXPECT_EQ(CaptionGradient(0xFFFFFF, 5), std::vector<uint32_t>{0xF5F5F5u});
}

TEST(DialogProfile, Numbers) {
  struct Case {
    const char* text;
    std::optional<int> value;
  } cases[] = {{"640", 640},
               {"-12", -12},
               {"+7", 7},
               {"0", 0},
               {"", {}},
               {"-", {}},
               {" 5", {}},
               {"5 ", {}},
               {"12a", {}},
               {"0x10", {}},
               {"2147483647", 2147483647},
               {"2147483648", {}},
               {"-2147483648", -2147483647 - 1},
               {"99999999999999999999", {}}};
  for (const Case& c : cases) EXPECT_EQ(ParseProfileNumber(c.text), c.value) << c.text;
}

TEST(DialogProfile, DetailedPlacement) {
  struct Case {
    TSavedGeometry saved;
    int b;
    TRect window;
    int state;
  } cases[] = {
      // First use: 640 x (385 + B), centred.
      {{}, 34, {(1024 - 640) / 2, (768 - 385 - 34) / 2, 640, 419}, wsNormal},
      {{}, 20, {192, (768 - 405) / 2, 640, 405}, wsNormal},
      // Garbage and non-positive sizes give the defaults.
      {{"abc", "0", "x", "y", "z"}, 20, {192, (768 - 405) / 2, 640, 405}, wsNormal},
      {{"-5", "-1", "", "", ""}, 20, {192, (768 - 405) / 2, 640, 405}, wsNormal},
      // Saved values used as they are.
      {{"700", "400", "10", "20", "1"}, 34, {10, 20, 700, 434}, wsNormal},
      {{"700", "400", "10", "20", "3"}, 34, {10, 20, 700, 434}, wsMaximized},
      // Minimized opens normal; an unknown state too.
      {{"700", "400", "10", "20", "6"}, 34, {10, 20, 700, 434}, wsNormal},
      {{"700", "400", "10", "20", "2"}, 34, {10, 20, 700, 434}, wsNormal},
      // Below the screen: moved up so that the window with its checkbox area ends at the bottom.
      {{"640", "385", "100", "600", "1"}, 34, {100, 768 - 385 - 34, 640, 419}, wsNormal},
      {{"640", "385", "100", "360", "1"}, 34, {100, 768 - 419, 640, 419}, wsNormal},
      // Right of the screen; negative coordinates; larger than the screen.
      {{"640", "385", "900", "10", "1"}, 20, {1024 - 640, 10, 640, 405}, wsNormal},
      {{"640", "385", "-50", "-60", "1"}, 20, {0, 0, 640, 405}, wsNormal},
      {{"2000", "1000", "10", "10", "1"}, 20, {0, 0, 2000, 1020}, wsNormal},
  };
  for (const Case& c : cases) {
    TDetailedPlacement p = PlaceDetailed(c.saved, 1024, 768, c.b);
    EXPECT_EQ(p.Window, c.window) << c.saved.Width << "/" << c.saved.Height << "/" << c.saved.Left
                                  << "/" << c.saved.Top;
    EXPECT_EQ(p.State, c.state);
  }
}

TEST(DialogProfile, RecordAndSave) {
  EXPECT_EQ(WindowStateForSizeKind(0), wsNormal);
  EXPECT_EQ(WindowStateForSizeKind(1), wsMinimized);
  EXPECT_EQ(WindowStateForSizeKind(2), wsMaximized);
  EXPECT_EQ(WindowStateForSizeKind(4), wsNormal);
  EXPECT_FALSE(GeometryToSave({}, 34)) << "nothing recorded, nothing written";
  auto saved = GeometryToSave({700, 434, 10, 20, wsMaximized}, 34);
  ASSERT_TRUE(saved);
  const char* keys[] = {"Width", "Height", "Left", "Top", "WindowsState"};
  const char* values[] = {"700", "400", "10", "20", "3"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_STREQ((*saved)[i].Key, keys[i]);
    EXPECT_EQ((*saved)[i].Value, values[i]);
  }
}

TEST(DialogProfile, ColumnWidths) {
  const int stack[] = {80, 102, 105, 118, 137, 48};
  const int mods[] = {80, 100, 130, 65, 65, 150};
  for (int c = 0; c < 6; ++c) {
    EXPECT_EQ(ColumnKey(TListKind::CallStack, c), "Col" + std::to_string(c));
    EXPECT_EQ(ColumnKey(TListKind::Modules, c), "ColMod" + std::to_string(c));
    EXPECT_EQ(ColumnWidthFromProfile(TListKind::CallStack, c, ""), stack[c]);
    EXPECT_EQ(ColumnWidthFromProfile(TListKind::Modules, c, "wide"), mods[c]);
    EXPECT_EQ(ColumnWidthFromProfile(TListKind::Modules, c, "-3"), mods[c]);
  }
  EXPECT_EQ(ColumnWidthFromProfile(TListKind::CallStack, 2, "0"), 0) << "a hidden column stays";
  EXPECT_EQ(ColumnWidthFromProfile(TListKind::CallStack, 2, "333"), 333);
}

TEST(DialogCells, ModuleRows) {
  struct Icon {
    const char* name;
    int icon;
  } icons[] = {{"C:\\A\\x.bpl", liPackage},    {"x.DPL", liPackage},
               {"C:\\prog.EXE", liExecutable}, {"prog.exe", liExecutable},
               {"kernel32.dll", liLibrary},    {"noext", liLibrary},
               {"C:\\a.exe\\lib", liLibrary},  {"x.exe.dll", liLibrary}};
  for (const Icon& i : icons) EXPECT_EQ(ModuleIcon(i.name), i.icon) << i.name;

  struct Version {
    const char* in;
    const char* out;
  } versions[] = {{"5.1.2600.2180", "5.1.x"},
                  {"1.2.3", "1.2.x"},
                  {"1.2", "1.2"},
                  {"7", "7"},
                  {"", ""},
                  {"..", "..x"}};
  for (const Version& v : versions) EXPECT_EQ(ShortVersion(v.in), v.out) << v.in;

  struct Size {
    int64_t bytes;
    const char* text;
  } sizes[] = {{1536, "2 Kb"}, {2560, "2 Kb"},
               {0, "0 Kb"},    {511, "0 Kb"},
               {512, "0 Kb"},  {513, "1 Kb"},
               {1024, "1 Kb"}, {3584, "4 Kb"},
               {2561, "3 Kb"}, {int64_t{2147483647}, "2097152 Kb"}};
  for (const Size& s : sizes) EXPECT_EQ(SizeInKb(s.bytes), s.text) << s.bytes;

  struct Folder {
    const char* in;
    const char* out;
  } folders[] = {{"C:\\Windows\\system32\\k.dll", "C:\\Windows\\system32"},
                 {"C:\\k.dll", "C:\\"},
                 {"C:k.dll", "C:"},
                 {"k.dll", ""},
                 {"\\\\server\\share\\k.dll", "\\\\server\\share"}};
  for (const Folder& f : folders) EXPECT_EQ(FileFolder(f.in), f.out) << f.in;

  TListRow row = ModuleRow(0x400000, "C:\\App\\prog.exe", "The program", "1.2.3.4", 1536);
  EXPECT_EQ(row.Icon, liExecutable);
  std::array<std::string, 6> cells = {"00400000", "prog.exe", "The program",
                                      "1.2.x",    "2 Kb",     "C:\\App"};
  EXPECT_EQ(row.Cells, cells);
  EXPECT_EQ(HexHandle(0xABC), "00000ABC");
}

TEST(DialogCells, SourceJumpMessage) {
  std::vector<uint8_t> m = SourceJumpMessage("Main.pas", "123");
  ASSERT_EQ(m.size(), 2052u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.data())), "Main.pas");
  for (size_t i = 8; i < 2048; ++i) ASSERT_EQ(m[i], 0) << i;
  EXPECT_EQ(m[2048], 123);
  EXPECT_EQ(m[2049], 0);
  m = SourceJumpMessage("", "70000");
  ASSERT_EQ(m.size(), 2052u);
  EXPECT_EQ(m[0], 0);
  EXPECT_EQ(m[2048] | m[2049] << 8 | m[2050] << 16, 70000);
  // A unit as long as the buffer is cut so that its terminator fits.
  m = SourceJumpMessage(std::string(3000, 'u'), "1");
  EXPECT_EQ(m[2046], 'u');
  EXPECT_EQ(m[2047], 0);
  // Nothing to send: empty or non-numeric line cells.
  for (const char* line : {"", "abc", "12 ", " 1", "1.5"})
    EXPECT_TRUE(SourceJumpMessage("Main.pas", line).empty()) << line;
  EXPECT_STREQ(SourceJumpMailslot, "\\\\.\\mailslot\\VantorLog");
}

TEST(DialogTexts, TrimAndProgress) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {{"  a\r\nb  \r\n", "a\r\nb"},
               {"\t\x01x\x1f ", "x"},
               {"", ""},
               {" \r\n ", ""},
               {"a  b", "a  b"},
               {"\xA0x\xA0", "\xA0x\xA0"}};
  for (const Case& c : cases) EXPECT_EQ(TrimBlanks(c.in), c.out);
  EXPECT_EQ(ProgressStatusText("Message", 1, 2, "Connecting with SMTP server..."),
            "Message 1/2: Connecting with SMTP server...");
  EXPECT_EQ(ProgressStatusText("", 0, 0, ""), " 0/0: ");
}
