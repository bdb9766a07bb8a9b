// What the dialogs compute apart from any window, one table per rule, at the edges the dialogs
// meet: the wrap at 640 pixels, the 250-pixel minimum, windows that would leave the screen,
// profile values that are not numbers, the module cells, the mailslot bytes and the request text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs/dialog_layout.h"
#include "dialogs/dialog_text.h"

using namespace dialogs;

TEST(DialogRules, CheckboxAreaAndTerminateThreshold) {
  EXPECT_EQ(CheckboxAreaHeight(true, true), 34);
  EXPECT_EQ(CheckboxAreaHeight(true, false), 20);
  EXPECT_EQ(CheckboxAreaHeight(false, true), 20);
  struct Row {
    bool Show;
    int Count, After;
    bool Expected;
  };
  for (Row r : {Row{true, 1, 3, false}, Row{true, 3, 3, false}, Row{true, 4, 3, true},
                Row{false, 9, 3, false}, Row{true, 1, 0, true}}) {
    EXPECT_EQ(ShowTerminateButton(r.Show, r.Count, r.After), r.Expected)
        << r.Count << " after " << r.After;
  }
}

TEST(DialogRules, MessageLinesSplitAtEveryLineEnd) {
  EXPECT_EQ(MessageLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(MessageLines(""), (std::vector<std::string>{""}));
  EXPECT_EQ(MessageLines("x\r\n"), (std::vector<std::string>{"x", ""}));
  EXPECT_EQ(MessageLines("\r\r\n"), (std::vector<std::string>{"", "", ""}));
}

// Frame 3, small caption 17: overhead O = 64, available A = 576, base height H' + 109.
TEST(CompactLayout, WidthHeightAndPlace) {
  TScreenMetrics screen;
  struct Row {
    const char* Name;
    std::vector<TTextExtent> Lines;
    int B;
    TRect Window;
    TRect Label;
  };
  const std::vector<Row> rows = {
      {"short line: the 250 minimum", {{50, 13}}, 34, {387, 329, 250, 143}, {48, 8, 186, 13}},
      {"check-box line sets the width",
       {{50, 13}, {300, 13}},
       20,
       {322, 329, 380, 129},
       {48, 8, 316, 26}},
      {"exactly the available width", {{560, 13}}, 34, {192, 329, 640, 143}, {48, 8, 576, 13}},
      {"one pixel over wraps once", {{561, 13}}, 34, {192, 329, 640, 143}, {48, 8, 576, 26}},
      {"very wide line wraps three times",
       {{2000, 13}},
       34,
       {192, 323, 640, 156},
       {48, 8, 576, 52}},
      {"narrower line after a wide one",
       {{700, 13}, {10, 13}},
       20,
       {192, 329, 640, 129},
       {48, 8, 576, 39}},
  };
  for (const Row& r : rows) {
    TCompactLayout got = CompactDialogLayout(r.Lines, screen, r.B);
    EXPECT_EQ(got.Window, r.Window) << r.Name << ": " << got.Window.Left << "," << got.Window.Top
                                    << " " << got.Window.Width << "x" << got.Window.Height;
    EXPECT_EQ(got.Label, r.Label) << r.Name << ": label " << got.Label.Width << "x"
                                  << got.Label.Height;
  }
}

TEST(CompactLayout, AHugeMessageStaysInsideTheWorkArea) {
  TScreenMetrics screen;
  screen.WorkArea = {0, 40, 1024, 700};  // a task bar on top
  std::vector<TTextExtent> lines(200, TTextExtent{100, 13});
  TCompactLayout got = CompactDialogLayout(lines, screen, 34);
  EXPECT_EQ(got.Window.Top, 40);
  EXPECT_EQ(got.Window.Height, 700);
  EXPECT_EQ(got.Label.Height, 2600 - (2561 + 109 + 34 - 700));
  // Buttons sit at client height - 32 - B: inside the window, so on screen.
  EXPECT_GT(got.Window.Height - 32 - 34, got.Label.Top);

  // A work area narrower than the dialog: the left edge stays on it.
  screen.WorkArea = {100, 0, 200, 768};
  got = CompactDialogLayout({{50, 13}}, screen, 20);
  EXPECT_EQ(got.Window.Left, 100);
}

TEST(CompactLayout, ControlsForBothCheckboxAreas) {
  TControlLayout c = ControlLayout(634, 400, 34);
  EXPECT_EQ(c.Tabs, (TRect{4, 52, 626, 276}));
  EXPECT_EQ(c.Label, (TRect{48, 8, 578, 42}));
  EXPECT_EQ(c.OkButton, (TRect{279, 334, 75, 25}));
  EXPECT_EQ(c.KillButton, (TRect{5, 334, 75, 25}));
  EXPECT_EQ(c.SendBox, (TRect{4, 368, 313, 13}));
  EXPECT_EQ(c.CopyBox, (TRect{317, 368, 313, 13}));
  EXPECT_EQ(c.ScreenshotBox, (TRect{23, 384, 611, 13}));
  EXPECT_EQ(c.DetailsButton, (TRect{554, 334, 75, 25}));
  c = ControlLayout(245, 120, 20);  // odd width
  EXPECT_EQ(c.OkButton, (TRect{85, 68, 75, 25}));
  EXPECT_EQ(c.SendBox, (TRect{4, 102, 118, 13}));
  EXPECT_EQ(c.CopyBox, (TRect{123, 102, 118, 13}));
}

TEST(Profile, NumbersAndTheirDefaults) {
  struct Row {
    const char* Text;
    int Expected;
  };
  for (Row r :
       {Row{"640", 640}, Row{"-5", -5}, Row{"+7", 7}, Row{"0", 0}, Row{"", 99}, Row{" 5", 99},
        Row{"5 ", 99}, Row{"abc", 99}, Row{"12a", 99}, Row{"-", 99}, Row{"$10", 99}, Row{"1.5", 99},
        Row{"2147483647", 2147483647}, Row{"2147483648", 99}, Row{"-2147483648", -2147483647 - 1},
        Row{"-2147483649", 99}, Row{"99999999999999999999999", 99}}) {
    EXPECT_EQ(ProfileNumber(r.Text, 99), r.Expected) << "'" << r.Text << "'";
  }
}

TEST(Profile, DetailedGeometry) {
  struct Row {
    const char* Name;
    TProfileGeometry Saved;
    int ScreenW, ScreenH, B;
    TDetailedGeometry Expected;
  };
  const std::vector<Row> rows = {
      {"first use: 640 x 385 centred", {}, 1024, 768, 34, {192, 174, 640, 385, wsNormal}},
      {"first use, small area", {}, 1024, 768, 20, {192, 181, 640, 385, wsNormal}},
      {"saved and on screen",
       {"700", "400", "10", "20", "1"},
       1024,
       768,
       34,
       {10, 20, 700, 400, wsNormal}},
      {"below the screen: moved up",
       {"", "", "5", "600", ""},
       1024,
       768,
       34,
       {5, 349, 640, 385, wsNormal}},
      {"only the check boxes below: moved up",
       {"", "", "5", "360", ""},
       1024,
       768,
       34,
       {5, 349, 640, 385, wsNormal}},
      {"right of the screen: moved left",
       {"", "", "900", "0", ""},
       1024,
       768,
       34,
       {384, 0, 640, 385, wsNormal}},
      {"negative position: 0",
       {"", "", "-50", "-9", ""},
       1024,
       768,
       34,
       {0, 0, 640, 385, wsNormal}},
      {"larger than the screen",
       {"1000", "700", "", "", ""},
       800,
       600,
       34,
       {0, 0, 1000, 700, wsNormal}},
      {"width and height not positive",
       {"0", "-3", "1", "2", ""},
       1024,
       768,
       34,
       {1, 2, 640, 385, wsNormal}},
      {"garbage", {"wide", "12px", "x", "y", "max"}, 1024, 768, 34, {192, 174, 640, 385, wsNormal}},
      {"maximized", {"", "", "", "", "3"}, 1024, 768, 34, {192, 174, 640, 385, wsMaximized}},
      {"minimized opens normal",
       {"", "", "", "", "6"},
       1024,
       768,
       34,
       {192, 174, 640, 385, wsNormal}},
      {"unknown state", {"", "", "", "", "2"}, 1024, 768, 34, {192, 174, 640, 385, wsNormal}},
  };
  for (const Row& r : rows) {
    TDetailedGeometry g = DetailedGeometry(r.Saved, r.ScreenW, r.ScreenH, r.B);
    EXPECT_EQ(g.Left, r.Expected.Left) << r.Name;
    EXPECT_EQ(g.Top, r.Expected.Top) << r.Name;
    EXPECT_EQ(g.Width, r.Expected.Width) << r.Name;
    EXPECT_EQ(g.Height, r.Expected.Height) << r.Name;
    EXPECT_EQ(g.State, r.Expected.State) << r.Name;
  }
}

TEST(Profile, ColumnWidths) {
  EXPECT_EQ(ColumnWidths({}, kCallStackColumnDefaults),
            (std::vector<int>{80, 102, 105, 118, 137, 48}));
  EXPECT_EQ(ColumnWidths({"10", "x", "", "-4", "0", "300"}, kModuleColumnDefaults),
            (std::vector<int>{10, 100, 130, 65, 0, 300}));
}

TEST(ModuleCells, IconVersionSizeAndFolder) {
  struct Icon {
    const char* Name;
    int Index;
  };
  for (Icon r : {Icon{"a.bpl", 1}, Icon{"B.DPL", 1}, Icon{"c:\\x\\App.Exe", 2}, Icon{"k.dll", 0},
                 Icon{"noext", 0}, Icon{"c:\\d.exe\\file", 0}, Icon{"a.exe.bak", 0}}) {
    EXPECT_EQ(ModuleIconIndex(r.Name), r.Index) << r.Name;
  }
  struct Text {
    const char* In;
    const char* Out;
  };
  for (Text r : {Text{"5.1.2600.2180", "5.1.x"}, Text{"1.2.3", "1.2.x"}, Text{"1.2", "1.2"},
                 Text{"7", "7"}, Text{"", ""}, Text{"1..2", "1..x"}}) {
    EXPECT_EQ(ShortVersion(r.In), r.Out) << r.In;
  }
  struct Size {
    uint64_t Bytes;
    const char* Out;
  };
  for (Size r : {Size{0, "0 Kb"}, Size{511, "0 Kb"}, Size{512, "0 Kb"}, Size{513, "1 Kb"},
                 Size{1535, "1 Kb"}, Size{1536, "2 Kb"}, Size{2560, "2 Kb"}, Size{3584, "4 Kb"},
                 Size{5000000000ull, "4882812 Kb"}}) {
    EXPECT_EQ(SizeInKb(r.Bytes), r.Out) << r.Bytes;
  }
  for (Text r : {Text{"C:\\a\\b.dll", "C:\\a"}, Text{"C:\\b.dll", "C:\\"}, Text{"b.dll", ""},
                 Text{"\\\\srv\\share\\m.dll", "\\\\srv\\share"}}) {
    EXPECT_EQ(ModuleFolder(r.In), r.Out) << r.In;
  }
  EXPECT_EQ(FileNameOnly("C:\\a\\b.dll"), "b.dll");
}

TEST(Mailslot, MessageBytes) {
  auto m = MailslotMessage("MainUnit", "42");
  ASSERT_TRUE(m.has_value());
  EXPECT_EQ(m->size(), 2052u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m->data())), "MainUnit");
  size_t nonZero = 0;
  for (size_t i = 8; i < 2048; ++i) nonZero += (*m)[i] != 0;
  EXPECT_EQ(nonZero, 0u);
  EXPECT_EQ((std::vector<uint8_t>(m->begin() + 2048, m->end())),
            (std::vector<uint8_t>{42, 0, 0, 0}));

  m = MailslotMessage("U", "70000");
  EXPECT_EQ((std::vector<uint8_t>(m->begin() + 2048, m->end())),
            (std::vector<uint8_t>{0x70, 0x11, 0x01, 0}));

  m = MailslotMessage(std::string(3000, 'u'), "1");
  ASSERT_TRUE(m.has_value());
  EXPECT_EQ((*m)[2046], 'u');
  EXPECT_EQ((*m)[2047], 0) << "the name stays zero-terminated";

  for (const char* bad : {"", "12x", " 3", "line", "1e3"})
    EXPECT_FALSE(MailslotMessage("U", bad)) << bad;
  EXPECT_STREQ(kMailslotName, "\\\\.\\mailslot\\VantorLog");
}

TEST(RequestText, TrimmedAtBothEndsOnly) {
  struct Text {
    const char* In;
    const char* Out;
  };
  for (Text r :
       {Text{"  a\r\nb  ", "a\r\nb"}, Text{"  a\r\nb  \r\n", "a\r\nb"},
        Text{"\t\x01x y\x1f", "x y"}, Text{"   ", ""}, Text{"", ""}, Text{"x\x7f", "x\x7f"}}) {
    EXPECT_EQ(TrimRequestText(r.In), r.Out);
  }
  EXPECT_EQ(SendProgressText("Message", 1, 2, "Connecting with SMTP server..."),
            "Message 1/2: Connecting with SMTP server...");
}
