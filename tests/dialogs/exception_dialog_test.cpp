// The exception dialog's compact view, driven as a user would from another thread.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <atomic>
#include <stdexcept>

#include "dialog_driver.h"
#include "dialogs/exception_dialog.h"

using namespace vl;

using namespace dialogtest;
using dialogs::ShowDialog;
using dialogs::TDialogInput;
using dialogs::TShowDialogResult;

namespace {

constexpr int idOk = 2, idTerminate = 3, idDetails = 4, idLabel = 101, idTabs = 1000, idSend = 3000,
              idScreenshot = 4000, idCopy = 5000;

// Shows the dialog on a worker and hands the open window to Drive.
struct Session {
  TestOptions options;
  TDialogInput input;
  TShowDialogResult result;
  Session() {
    input.Options = &options;
    input.ErrorMessage = "Access violation at address 00401000.";
    input.ErrorCount = 1;
  }
  void Flags() {
    input.Flags.SendRequested = options.MailMode() != mmNone;
    input.Flags.ScreenshotRequested = options.AddScreenshot();
  }
  template <class Drive>
  void Run(Drive drive) {
    Worker worker([this] { result = ShowDialog(input); });
    HWND dialog = WaitForDialog("Error.", worker.ThreadId());
    ASSERT_NE(dialog, nullptr) << "the dialog did not appear";
    drive(dialog, worker);
    ASSERT_TRUE(worker.Wait()) << "the dialog did not close";
    EXPECT_FALSE(result.Failure.Failed)
        << result.Failure.ClassName << ": " << result.Failure.Message;
  }
};

int ButtonTop(HWND dialog, int id) { return RectInParent(GetDlgItem(dialog, id)).top; }

}  // namespace

TEST(ExceptionDialog, NoMailHidesSendAndScreenshot) {
  Session s;
  s.options.SetAddScreenshot(true);
  s.Flags();
  s.Run([&](HWND d, const Worker&) {
    EXPECT_FALSE(Visible(d, idSend));
    EXPECT_FALSE(Visible(d, idScreenshot));
    EXPECT_TRUE(Visible(d, idCopy));
    EXPECT_FALSE(Visible(d, idTabs));
    EXPECT_EQ(ButtonTop(d, idOk), ClientRect(d).bottom - 32 - 20) << "checkbox area 20";
    EXPECT_EQ(ItemText(d, idOk), "&OK");
    EXPECT_EQ(ItemText(d, idDetails), s.options.TextTable(core::txDialogDetailsButton) + " >>");
    EXPECT_EQ(ItemText(d, idCopy), s.options.TextTable(core::txDialogCopyMessage));
    Click(d, idCopy);
    Click(d, idOk);
  });
  EXPECT_FALSE(s.result.Flags.SendRequested);
  EXPECT_TRUE(s.result.Flags.ScreenshotRequested) << "kept as given; nothing is sent anyway";
  EXPECT_TRUE(s.result.Flags.CopyToClipboardRequested);
  EXPECT_FALSE(s.result.Flags.TerminateRequested);
  EXPECT_TRUE(s.result.Painted);
}

TEST(ExceptionDialog, UntickingSendDisablesTheScreenshot) {
  Session s;
  s.options.SetMailMode(mmViaServer);
  s.options.SetAddScreenshot(true);
  s.Flags();
  s.Run([](HWND d, const Worker&) {
    EXPECT_TRUE(Visible(d, idSend));
    EXPECT_TRUE(Visible(d, idScreenshot));
    EXPECT_TRUE(Checked(d, idSend));
    EXPECT_TRUE(Checked(d, idScreenshot));
    EXPECT_TRUE(Enabled(d, idScreenshot));
    EXPECT_EQ(ButtonTop(d, idOk), ClientRect(d).bottom - 32 - 34) << "checkbox area 34";
    Click(d, idSend);
    EXPECT_FALSE(Enabled(d, idScreenshot));
    Click(d, idSend);
    EXPECT_TRUE(Enabled(d, idScreenshot));
    Click(d, idScreenshot);
    Click(d, idOk);
  });
  EXPECT_TRUE(s.result.Flags.SendRequested);
  EXPECT_FALSE(s.result.Flags.ScreenshotRequested);
  EXPECT_FALSE(s.result.Flags.CopyToClipboardRequested);
}

TEST(ExceptionDialog, DuplicateReportOffersNoSending) {
  Session s;
  s.options.SetMailMode(mmDirect);
  s.Flags();
  s.input.IsDuplicate = true;
  s.Run([](HWND d, const Worker&) {
    EXPECT_FALSE(Visible(d, idSend));
    EXPECT_FALSE(Visible(d, idScreenshot));
    Click(d, idOk);
  });
}

TEST(ExceptionDialog, TerminateButtonAfterTheThreshold) {
  struct Case {
    int errorCount;
    bool showThird;
    uint8_t action;
    bool shown;
    const char* text;
  } cases[] = {{3, true, tbRestart, false, "&Restart"},
               {4, true, tbRestart, true, "&Restart"},
               {4, true, tbTerminate, true, "&Terminate"},
               {9, false, tbRestart, false, "&Restart"}};
  for (const Case& c : cases) {
    Session s;
    s.input.ErrorCount = c.errorCount;
    s.options.SetShowThirdButton(c.showThird);
    s.options.SetThirdButtonAction(c.action);
    s.Run([&](HWND d, const Worker&) {
      EXPECT_EQ(Visible(d, idTerminate), c.shown) << c.errorCount;
      EXPECT_EQ(ItemText(d, idTerminate), c.text);
      Click(d, c.shown ? idTerminate : idOk);
    });
    EXPECT_EQ(s.result.Flags.TerminateRequested, c.shown);
  }
}

TEST(ExceptionDialog, VetoedTerminateShowsTheDialogAgain) {
  Session s;
  s.input.ErrorCount = 5;
  std::atomic<int> asked{0}, calls{0};
  s.input.AskTerminate = [&](bool& terminate) {
    EXPECT_TRUE(terminate);
    if (++asked == 1) terminate = false;  // veto the first time only
  };
  s.input.CallOnExceptionThread = [&](const std::function<void()>& call) {
    ++calls;
    call();
  };
  Worker worker([&] { s.result = ShowDialog(s.input); });
  HWND first = WaitForDialog("Error.", worker.ThreadId());
  ASSERT_NE(first, nullptr);
  Click(first, idTerminate);
  ASSERT_TRUE(WaitGone(first));
  HWND second = WaitForDialog("Error.", worker.ThreadId());
  ASSERT_NE(second, nullptr) << "shown again after the veto";
  Click(second, idTerminate);
  ASSERT_TRUE(worker.Wait());
  EXPECT_EQ(asked.load(), 2);
  EXPECT_EQ(calls.load(), 2) << "the handler runs through the exception thread";
  EXPECT_TRUE(s.result.Flags.TerminateRequested);
}

TEST(ExceptionDialog, EscapeAndEnterActAsOk) {
  for (WORD key : {WORD(VK_ESCAPE), WORD(VK_RETURN)}) {
    Session s;
    s.options.SetMailMode(mmViaServer);
    s.Flags();
    s.input.ErrorCount = 10;
    s.Run([&](HWND d, const Worker&) {
      EXPECT_EQ(GetForegroundWindow(), d) << "the dialog takes the foreground";
      PressKey(key);
    });
    EXPECT_TRUE(s.result.Flags.SendRequested) << "unchanged";
    EXPECT_FALSE(s.result.Flags.CopyToClipboardRequested);
    EXPECT_FALSE(s.result.Flags.TerminateRequested) << key;
  }
}

TEST(ExceptionDialog, WidthFollowsTheMeasuredText) {
  HFONT font = MessageFont();
  const int overhead = 2 * GetSystemMetrics(SM_CXDLGFRAME) + 58;
  TestOptions texts;
  const std::string checkLine = texts.TextTable(core::txDialogEmailMessage) + "    " +
                                texts.TextTable(core::txDialogCopyMessage);
  struct Case {
    std::string message;
  } cases[] = {{"Short."}, {std::string(60, 'W') + "."}, {"A\r\n" + std::string(90, 'M')}};
  for (const Case& c : cases) {
    int widest = TextSize(font, checkLine).cx;
    for (const std::string& line :
         {c.message.substr(0, c.message.find('\r')), c.message.substr(c.message.find('\n') + 1)})
      widest = std::max<int>(widest, TextSize(font, line).cx);
    int expected = std::max(250, std::min(widest + 16, 640 - overhead) + overhead);
    Session s;
    s.input.ErrorMessage = c.message;
    s.Run([&](HWND d, const Worker&) {
      RECT r = WindowRect(d);
      EXPECT_EQ(r.right - r.left, expected) << c.message;
      RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
      EXPECT_NEAR(r.left, (screen.right - (r.right - r.left)) / 2, 1) << "centred";
      Click(d, idOk);
    });
  }
  DeleteObject(font);
}

TEST(ExceptionDialog, LongLineMakesTheDialog640WideAndTaller) {
  Session small, wide;
  small.input.ErrorMessage = "x";
  wide.input.ErrorMessage = std::string(400, 'W');
  int smallHeight = 0;
  small.Run([&](HWND d, const Worker&) {
    smallHeight = WindowRect(d).bottom - WindowRect(d).top;
    Click(d, idOk);
  });
  wide.Run([&](HWND d, const Worker&) {
    RECT r = WindowRect(d);
    EXPECT_EQ(r.right - r.left, 640);
    EXPECT_GT(r.bottom - r.top, smallHeight);
    Click(d, idOk);
  });
}

TEST(ExceptionDialog, HugeMessageKeepsTheButtonsOnScreen) {
  Session s;
  for (int i = 0; i < 300; ++i) s.input.ErrorMessage += "Line " + std::to_string(i) + "\r\n";
  s.Run([](HWND d, const Worker&) {
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    RECT r = WindowRect(d);
    EXPECT_GE(r.top, work.top);
    EXPECT_LE(r.bottom, work.bottom);
    RECT ok = WindowRect(GetDlgItem(d, idOk));
    EXPECT_LE(ok.bottom, work.bottom);
    EXPECT_GE(ok.top, work.top);
    Click(d, idOk);
  });
}

TEST(ExceptionDialog, AmpersandIsShownLiterally) {
  Session s;
  s.input.ErrorMessage = "Tom & Jerry && co.";
  s.Run([](HWND d, const Worker&) {
    EXPECT_EQ(ItemText(d, idLabel), "Tom & Jerry && co.");
    EXPECT_TRUE(GetWindowLongA(GetDlgItem(d, idLabel), GWL_STYLE) & SS_NOPREFIX);
    Click(d, idOk);
  });
}

TEST(ExceptionDialog, PlainLookKeepsTheSystemFrame) {
  Session s;
  s.options.SetPaintedDialogs(false);
  s.Run([](HWND d, const Worker&) {
    EXPECT_FALSE(GetWindowLongA(GetDlgItem(d, idOk), GWL_STYLE) & BS_FLAT);
    EXPECT_FALSE(GetWindowLongA(d, GWL_STYLE) & WS_SYSMENU) << "compact view";
    Click(d, idDetails);
    EXPECT_TRUE(GetWindowLongA(d, GWL_STYLE) & WS_SYSMENU) << "detailed view";
    EXPECT_TRUE(GetWindowLongA(d, GWL_STYLE) & WS_THICKFRAME);
    Click(d, idDetails);
    Click(d, idOk);
  });
}

TEST(ExceptionDialog, AFailingPageIsReportedAndLeavesNoWindow) {
  for (int page : {0, 2}) {
    TestOptions options;
    options.SetFirstDetailsPage(static_cast<uint8_t>(page));
    TDialogInput input;
    input.Options = &options;
    input.ErrorMessage = "Boom.";
    input.PageCreated = [](int) { throw EConvertError("The page could not be filled."); };
    TShowDialogResult result;
    Worker worker([&] { result = ShowDialog(input); });
    ASSERT_TRUE(worker.Wait());
    EXPECT_TRUE(result.Failure.Failed);
    EXPECT_EQ(result.Failure.ClassName, "EConvertError");
    EXPECT_EQ(result.Failure.Message, "The page could not be filled.");
    EXPECT_EQ(FindWindowA("#32770", "Error."), nullptr) << "no window is left";
  }
}

TEST(ExceptionDialog, ThrowingAfterTheSwitchToDetailsIsReported) {
  TestOptions options;
  TDialogInput input;
  input.Options = &options;
  input.ErrorMessage = "Boom.";
  std::atomic<int> created{0};
  input.PageCreated = [&](int) {
    if (++created > 1) throw std::runtime_error("second page");
  };
  TShowDialogResult result;
  Worker worker([&] { result = ShowDialog(input); });
  HWND d = WaitForDialog("Error.", worker.ThreadId());
  ASSERT_NE(d, nullptr);
  HWND tabs = GetDlgItem(d, idTabs);
  SendMessageA(tabs, TCM_SETCURSEL, 3, 0);
  NMHDR change = {tabs, static_cast<UINT_PTR>(idTabs), static_cast<UINT>(TCN_SELCHANGE)};
  SendMessageA(d, WM_NOTIFY, idTabs, reinterpret_cast<LPARAM>(&change));
  ASSERT_TRUE(worker.Wait());
  EXPECT_TRUE(result.Failure.Failed);
  EXPECT_EQ(result.Failure.ClassName, "runtime_error");
  EXPECT_FALSE(IsWindow(d));
}

TEST(ExceptionDialog, MissingOptionsIsAFailureNotACrash) {
  TDialogInput input;
  TShowDialogResult result = ShowDialog(input);
  EXPECT_TRUE(result.Failure.Failed);
}
