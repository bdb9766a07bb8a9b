// The detailed view: geometry from and to "VantorLog.ini", the tab pages and their lists, the
// keyboard, and the source-line message to the development environment's mailslot.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "dialog_driver.h"
#include "dialogs/exception_dialog.h"
#include "modules/module_info.h"

using namespace vl;

using namespace dialogtest;
using namespace dialogs;

namespace {

constexpr int idOk = 2, idDetails = 4, idLabel = 101, idTabs = 1000;

void ClearProfile() {
  WritePrivateProfileStringA("Coordinates", nullptr, nullptr, "VantorLog.ini");
}
void WriteKey(const char* key, const char* value) {
  WritePrivateProfileStringA("Coordinates", key, value, "VantorLog.ini");
}
std::string ReadKey(const char* key) {
  char buffer[256] = {};
  GetPrivateProfileStringA("Coordinates", key, "", buffer, sizeof buffer, "VantorLog.ini");
  return buffer;
}

struct Session {
  TestOptions options;
  TDialogInput input;
  TShowDialogResult result;
  modules::TVantorModulesList modules;
  Session() {
    options.SetMailMode(mmViaServer);
    options.SetAddScreenshot(true);  // checkbox area 34
    input.Options = &options;
    input.ErrorMessage = "Division by zero.";
    input.Flags.SendRequested = true;
    input.GeneralBlock = "General block\r\nline 2";
    input.CpuBlock = "Registers:\r\nEAX: 00000000";
    TListRow a;
    a.Cells = {"00401000", "prog.exe", "Main.pas", "TForm1", "Button1Click", "42"};
    a.Icon = liSource;
    TListRow b;
    b.Cells = {"7C800000", "kernel32.dll", "", "", "RaiseException", ""};
    input.CallStackRows = {a, b};
    auto m = std::make_unique<TVantorModuleInfo>();
    m->Handle = reinterpret_cast<HMODULE>(0x400000);
    m->FileName = "C:\\App\\prog.exe";
    m->Description = "The program";
    m->Version = "5.1.2600.2180";
    m->FileSize = 2560;
    modules.Add(std::move(m));
    input.Modules = &modules;
  }
  template <class Drive>
  void Run(Drive drive) {
    Worker worker([this] { result = ShowDialog(input); });
    HWND dialog = WaitForDialog("Error.", worker.ThreadId());
    ASSERT_NE(dialog, nullptr) << "the dialog did not appear";
    drive(dialog, worker.ThreadId());
    ASSERT_TRUE(worker.Wait()) << "the dialog did not close";
    EXPECT_FALSE(result.Failure.Failed)
        << result.Failure.ClassName << ": " << result.Failure.Message;
  }
};

HWND Page(HWND dialog) {
  return FindWindowExA(GetDlgItem(dialog, idTabs), nullptr, "#32770", nullptr);
}
HWND PageControl(HWND dialog) { return GetDlgItem(Page(dialog), 103); }

void SelectTab(HWND dialog, int index) {
  HWND tabs = GetDlgItem(dialog, idTabs);
  SendMessageA(tabs, TCM_SETCURSEL, index, 0);
  NMHDR change = {tabs, static_cast<UINT_PTR>(idTabs), static_cast<UINT>(TCN_SELCHANGE)};
  SendMessageA(dialog, WM_NOTIFY, idTabs, reinterpret_cast<LPARAM>(&change));
}

std::string Cell(HWND list, int row, int column) {
  char text[260] = {};
  LVITEMA item = {};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
  return text;
}

std::string TabText(HWND dialog, int index) {
  char text[64] = {};
  TCITEMA item = {};
  item.mask = TCIF_TEXT;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  SendDlgItemMessageA(dialog, idTabs, TCM_GETITEMA, index, reinterpret_cast<LPARAM>(&item));
  return text;
}

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

}  // namespace

TEST(DetailedView, FirstUseIsCentredAndLeavingSavesTheGeometry) {
  ClearProfile();
  Session s;
  s.Run([&](HWND d, DWORD) {
    Click(d, idDetails);
    RECT r = WindowRect(d);
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ(Width(r), 640);
    EXPECT_EQ(Height(r), 385 + 34);
    EXPECT_EQ(r.left, (sw - 640) / 2);
    EXPECT_EQ(r.top, (sh - 385 - 34) / 2);
    EXPECT_TRUE(Visible(d, idTabs));
    EXPECT_EQ(ItemText(d, idDetails), "<< " + s.options.TextTable(core::txDialogDetailsButton));
    EXPECT_EQ(ItemText(d, idLabel), s.options.TextTable(core::txDialogErrorMessage));
    EXPECT_EQ(TabText(d, 0), "General");
    EXPECT_EQ(TabText(d, 1), "Call Stack");
    EXPECT_EQ(TabText(d, 2), "Modules");
    EXPECT_EQ(TabText(d, 3), "CPU");
    EXPECT_EQ(Text(PageControl(d)), s.input.GeneralBlock);
    EXPECT_TRUE(GetWindowLongA(d, GWL_STYLE) & WS_THICKFRAME);
    Click(d, idDetails);  // back to compact: writes the profile
    EXPECT_FALSE(Visible(d, idTabs));
    EXPECT_EQ(ItemText(d, idLabel), s.input.ErrorMessage);
    Click(d, idOk);
  });
  EXPECT_EQ(ReadKey("Width"), "640");
  EXPECT_EQ(ReadKey("Height"), "385");
  EXPECT_EQ(ReadKey("Left"), std::to_string((GetSystemMetrics(SM_CXSCREEN) - 640) / 2));
  EXPECT_EQ(ReadKey("Top"), std::to_string((GetSystemMetrics(SM_CYSCREEN) - 419) / 2));
  EXPECT_EQ(ReadKey("WindowsState"), "1");
  EXPECT_TRUE(s.result.Flags.SendRequested);
}

TEST(DetailedView, CompactCloseWritesOnlyTheOpenListsColumns) {
  ClearProfile();
  Session s;
  s.Run([](HWND d, DWORD) { Click(d, idOk); });
  EXPECT_EQ(ReadKey("Width"), "");
  EXPECT_EQ(ReadKey("Col0"), "");

  Session list;
  list.options.SetFirstDetailsPage(1);
  list.Run([](HWND d, DWORD) {
    SendMessageA(PageControl(d), LVM_SETCOLUMNWIDTH, 2, 150);
    Click(d, idOk);
  });
  EXPECT_EQ(ReadKey("Width"), "");
  EXPECT_EQ(ReadKey("Col0"), "80");
  EXPECT_EQ(ReadKey("Col2"), "150");
  EXPECT_EQ(ReadKey("Col5"), "48");

  Session again;
  again.options.SetFirstDetailsPage(1);
  again.Run([](HWND d, DWORD) {
    EXPECT_EQ(SendMessageA(PageControl(d), LVM_GETCOLUMNWIDTH, 2, 0), 150) << "read back";
    Click(d, idOk);
  });
}

TEST(DetailedView, ClosingInTheDetailedViewSavesTheGeometry) {
  ClearProfile();
  Session s;
  s.Run([](HWND d, DWORD) {
    Click(d, idDetails);
    SetWindowPos(d, nullptr, 20, 30, 700, 450, SWP_NOZORDER | SWP_NOACTIVATE);
    Click(d, idOk);
  });
  EXPECT_EQ(ReadKey("Width"), "700");
  EXPECT_EQ(ReadKey("Height"), std::to_string(450 - 34));
  EXPECT_EQ(ReadKey("Left"), "20");
  EXPECT_EQ(ReadKey("Top"), "30");
}

TEST(DetailedView, SavedGeometryIsPlacedOnScreen) {
  const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  struct Case {
    const char *width, *height, *left, *top, *state;
    RECT expected;  // left, top, width, height
    bool zoomed;
  } cases[] = {
      {"600", "300", "10", "20", "1", {10, 20, 600, 334}, false},
      {"640", "385", "10", "700", "1", {10, sh - 419, 640, 419}, false},   // moved up
      {"640", "385", "5000", "10", "1", {sw - 640, 10, 640, 419}, false},  // moved left
      {"600", "300", "10", "20", "6", {10, 20, 600, 334}, false},          // minimized opens normal
      {"abc", "-4", "x", "", "?", {(sw - 640) / 2, (sh - 419) / 2, 640, 419}, false},
      {"600", "300", "10", "20", "3", {10, 20, 600, 334}, true},
  };
  for (const Case& c : cases) {
    ClearProfile();
    WriteKey("Width", c.width);
    WriteKey("Height", c.height);
    WriteKey("Left", c.left);
    WriteKey("Top", c.top);
    WriteKey("WindowsState", c.state);
    Session s;
    s.Run([&](HWND d, DWORD) {
      Click(d, idDetails);
      EXPECT_FALSE(IsIconic(d));
      EXPECT_EQ(IsZoomed(d) != FALSE, c.zoomed) << c.state;
      WINDOWPLACEMENT p = {};
      p.length = sizeof p;
      GetWindowPlacement(d, &p);
      const RECT& n = p.rcNormalPosition;
      EXPECT_EQ(n.left, c.expected.left) << c.left << "," << c.top;
      EXPECT_EQ(n.top, c.expected.top) << c.left << "," << c.top;
      EXPECT_EQ(Width(n), c.expected.right) << c.width;
      EXPECT_EQ(Height(n), c.expected.bottom) << c.height;
      Click(d, idOk);
    });
    // Closing in the detailed view saves its normal size; one opened maximized saves nothing,
    // never the compact view's size.
    EXPECT_EQ(ReadKey("Width"), std::to_string(c.expected.right)) << c.state;
  }
  ClearProfile();
}

TEST(DetailedView, PagesShowTheInput) {
  ClearProfile();
  Session s;
  s.options.SetFirstDetailsPage(1);
  s.Run([&](HWND d, DWORD) {
    EXPECT_EQ(SendDlgItemMessageA(d, idTabs, TCM_GETCURSEL, 0, 0), 1);
    Click(d, idDetails);
    HWND list = PageControl(d);
    ASSERT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 2);
    for (int c = 0; c < 6; ++c) {
      EXPECT_EQ(Cell(list, 0, c), s.input.CallStackRows[0].Cells[c]);
      EXPECT_EQ(Cell(list, 1, c), s.input.CallStackRows[1].Cells[c]);
    }
    EXPECT_EQ(ItemText(Page(d), 102), "Call Stack Information");
    EXPECT_TRUE(GetWindowLongA(list, GWL_STYLE) & LVS_SHAREIMAGELISTS);

    SelectTab(d, 2);
    list = PageControl(d);
    ASSERT_EQ(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0), 1);
    const char* row[6] = {"00400000", "prog.exe", "The program", "5.1.x", "2 Kb", "C:\\App"};
    for (int c = 0; c < 6; ++c) EXPECT_EQ(Cell(list, 0, c), row[c]);
    LVITEMA item = {};
    item.mask = LVIF_IMAGE;
    SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(item.iImage, liExecutable);

    SelectTab(d, 3);
    EXPECT_EQ(Text(PageControl(d)), s.input.CpuBlock);
    EXPECT_EQ(ItemText(Page(d), 102), "CPU Information");
    SelectTab(d, 0);
    EXPECT_EQ(Text(PageControl(d)), s.input.GeneralBlock);
    // The read-only memo asks for static colours: black on opaque white; the header label is
    // transparent on the grey look.
    HDC dc = CreateCompatibleDC(nullptr);
    SendMessageA(Page(d), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(PageControl(d)));
    EXPECT_EQ(GetBkColor(dc), RGB(255, 255, 255));
    EXPECT_EQ(GetBkMode(dc), OPAQUE);
    SendMessageA(Page(d), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(GetDlgItem(Page(d), 102)));
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    DeleteDC(dc);
    Click(d, idOk);
  });
  ClearProfile();
}

TEST(DetailedView, PageFitsTheTabsAfterResizing) {
  ClearProfile();
  Session s;
  s.Run([](HWND d, DWORD) {
    Click(d, idDetails);
    for (SIZE size : {SIZE{800, 560}, SIZE{500, 330}}) {
      SetWindowPos(d, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER);
      HWND tabs = GetDlgItem(d, idTabs);
      RECT area = ClientRect(tabs);
      SendMessageA(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
      RECT page = RectInParent(Page(d));
      EXPECT_EQ(page.left, area.left - 3);
      EXPECT_EQ(page.top, area.top - 1);
      EXPECT_EQ(page.right, area.right);
      EXPECT_EQ(page.bottom, area.bottom);
      RECT control = RectInParent(PageControl(d));
      EXPECT_EQ(control.left, area.left);
      EXPECT_EQ(control.top, 20);
      EXPECT_EQ(Width(control), Width(page) - 8);
      EXPECT_EQ(Height(control), Height(page) - 24);
      RECT client = ClientRect(d);
      EXPECT_EQ(RectInParent(tabs).bottom, client.bottom - 90 - 34 + 52);
    }
    Click(d, idOk);
  });
  ClearProfile();
}

namespace {

// Stands in for the development environment: the mailslot it reads.
class MailslotReader {
 public:
  MailslotReader() { slot_ = CreateMailslotA("\\\\.\\mailslot\\VantorLog", 0, 0, nullptr); }
  ~MailslotReader() { Close(); }
  bool Open() const { return slot_ != INVALID_HANDLE_VALUE; }
  void Close() {
    if (Open()) CloseHandle(slot_);
    slot_ = INVALID_HANDLE_VALUE;
  }
  // The next message within TimeoutMs; empty when none came.
  std::vector<uint8_t> Next(DWORD timeoutMs = 5000) {
    DWORD start = GetTickCount();
    for (;;) {
      DWORD next = MAILSLOT_NO_MESSAGE, count = 0;
      if (GetMailslotInfo(slot_, nullptr, &next, &count, nullptr) && next != MAILSLOT_NO_MESSAGE) {
        std::vector<uint8_t> message(next);
        DWORD read = 0;
        ReadFile(slot_, message.data(), next, &read, nullptr);
        message.resize(read);
        return message;
      }
      if (GetTickCount() - start > timeoutMs) return {};
      Sleep(20);
    }
  }

 private:
  HANDLE slot_ = INVALID_HANDLE_VALUE;
};

void SelectRow(HWND list, int row) {
  LVITEMA item = {};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

}  // namespace

TEST(DetailedView, KeyboardAndJumpToSource) {
  ClearProfile();
  MailslotReader reader;
  ASSERT_TRUE(reader.Open());
  Session s;
  s.options.SetFirstDetailsPage(1);
  s.Run([&](HWND d, DWORD thread) {
    Click(d, idDetails);
    SetForegroundWindow(d);
    HWND list = PageControl(d);
    SelectRow(list, 0);
    // Tab reaches the list inside the page.
    HWND focus = FocusOf(thread);
    for (int i = 0; i < 12 && focus != list; ++i) {
      PressKey(VK_TAB);
      focus = WaitFocusChange(thread, focus);
    }
    ASSERT_EQ(FocusOf(thread), list) << "Tab never reached the list";

    PressKey(VK_RETURN);
    std::vector<uint8_t> m = reader.Next();
    ASSERT_EQ(m.size(), 2052u) << "one message of 2052 bytes";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.data())), "Main.pas");
    EXPECT_EQ(m[2048] | m[2049] << 8 | m[2050] << 16 | m[2051] << 24, 42);
    EXPECT_TRUE(IsWindow(d)) << "Enter on the list does not close the dialog";

    RECT row = {LVIR_BOUNDS, 0, 0, 0};
    SendMessageA(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
    POINT at = {row.left + 40, (row.top + row.bottom) / 2};
    ClientToScreen(list, &at);
    DoubleClickAt(at);
    m = reader.Next();
    EXPECT_EQ(m.size(), 2052u) << "double click";
    EXPECT_TRUE(IsWindow(d));

    SelectRow(list, 1);  // empty line cell: nothing is sent
    PressKey(VK_RETURN);
    EXPECT_TRUE(reader.Next(1000).empty());

    reader.Close();  // no listener: silent
    SelectRow(list, 0);
    PressKey(VK_RETURN);
    Sleep(200);
    EXPECT_TRUE(IsWindow(d));
    Click(d, idOk);
  });
  ClearProfile();
}
