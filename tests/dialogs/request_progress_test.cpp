// The request for reproduction steps and the SMTP progress dialog.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>
#include <gtest/gtest.h>

#include "core/core_unit_win.h"
#include "core/internal_errors.h"
#include "dialog_driver.h"
#include "dialogs/request_dialog.h"
#include "dialogs/send_progress.h"

using namespace vl;

using namespace dialogtest;
using namespace dialogs;

TEST(RequestDialog, ShownOnlyWhenAllFourConditionsHold) {
  struct Case {
    bool askSteps;
    THostKind host;
    bool duplicate;
    TMailMode mail;
    bool log;
    bool wanted;
  } cases[] = {
      {true, THostKind::Gui, false, mmViaServer, false, true},
      {true, THostKind::Gui, false, mmNone, true, true},
      {true, THostKind::Gui, false, mmNone, false, false},  // neither mail nor log
      {false, THostKind::Gui, false, mmDirect, true, false},
      {true, THostKind::Console, false, mmDirect, true, false},
      {true, THostKind::WebServer, false, mmDirect, true, false},
      {true, THostKind::Gui, true, mmDirect, true, false},
  };
  for (const Case& c : cases) {
    TestOptions options;
    options.SetHandlingFlags(c.askSteps ? hfAskSteps : 0);
    options.SetMailMode(c.mail);
    options.SetAppendToLog(c.log);
    TDialogInput input;
    input.Options = &options;
    input.Host = c.host;
    input.IsDuplicate = c.duplicate;
    EXPECT_EQ(RequestDialogWanted(input), c.wanted);
    if (!c.wanted) {
      TRequestResult result = ShowRequestDialog(input);  // returns at once
      EXPECT_FALSE(result.Shown);
      EXPECT_EQ(result.ReproductionText, "");
    }
  }
}

TEST(RequestDialog, TypedTextIsTrimmed) {
  TestOptions options;
  options.SetHandlingFlags(hfAskSteps);
  TDialogInput input;
  input.Options = &options;
  TRequestResult result;
  Worker worker([&] { result = ShowRequestDialog(input); });
  HWND d = WaitForDialog("Request", worker.ThreadId());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(ItemText(d, 100), "Please describe the steps to reproduce the error:");
  EXPECT_EQ(ItemText(d, 2), "&OK");
  SetForegroundWindow(d);
  TypeText("  a");
  PressKey(VK_RETURN);
  TypeText("b  ");
  PressKey(VK_RETURN);
  // Typed keys reach the dialog after the input queue's round trip: wait for them.
  EXPECT_TRUE(WaitForText(GetDlgItem(d, 101), "  a\r\nb  \r\n"));
  EXPECT_TRUE(IsWindow(d)) << "Enter in the text is a new line";
  Click(d, 2);
  ASSERT_TRUE(worker.Wait());
  EXPECT_TRUE(result.Shown);
  EXPECT_FALSE(result.Failure.Failed);
  EXPECT_EQ(result.ReproductionText, "a\r\nb");
}

TEST(RequestDialog, EscapeStoresTheTextToo) {
  TestOptions options;
  options.SetHandlingFlags(hfAskSteps);
  TDialogInput input;
  input.Options = &options;
  TRequestResult result;
  Worker worker([&] { result = ShowRequestDialog(input); });
  HWND d = WaitForDialog("Request", worker.ThreadId());
  ASSERT_NE(d, nullptr);
  SetForegroundWindow(d);
  TypeText("steps ");
  EXPECT_TRUE(WaitForText(GetDlgItem(d, 101), "steps "));
  PressKey(VK_ESCAPE);
  ASSERT_TRUE(worker.Wait());
  EXPECT_EQ(result.ReproductionText, "steps");
}

TEST(SendProgress, ComesUpShowsStatusAndCloses) {
  TestOptions options;
  options.SetMailMode(mmViaServer);
  ASSERT_TRUE(StartSendProgress(options, THostKind::Gui)) << "up within the bound";
  EXPECT_TRUE(IsSendProgressShowing());
  HWND d = SendProgressWindow();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(Text(d), "SMTP.");
  EXPECT_NE(GetWindowThreadProcessId(d, nullptr), GetCurrentThreadId()) << "its own thread";
  EXPECT_EQ(ItemText(d, 100), "Static") << "template text until the first status";

  auto shows = [d](const char* text, LRESULT bar) {  // updates are posted: within a second
    for (int i = 0; i < 100; ++i, Sleep(10))
      if (ItemText(d, 100) == text && SendDlgItemMessageA(d, 101, PBM_GETPOS, 0, 0) == bar)
        return true;
    return false;
  };
  SetSendProgressRecipient(1, 2);
  SetSendProgressText("Connecting with SMTP server...");
  SetSendProgressPosition(40);
  EXPECT_TRUE(shows("Message 1/2: Connecting with SMTP server...", 40)) << ItemText(d, 100);
  SetSendProgressRecipient(2, 2);
  SetSendProgressPosition(0);
  SetSendProgressText("Sending message...");
  EXPECT_TRUE(shows("Message 2/2: Sending message...", 0)) << ItemText(d, 100);

  CloseSendProgress();
  EXPECT_FALSE(IsWindow(d));
  EXPECT_FALSE(IsSendProgressShowing());
  EXPECT_EQ(SendProgressWindow(), nullptr);
  // Updates after closing are ignored.
  SetSendProgressText("late");
  SetSendProgressPosition(99);
  CloseSendProgress();
}

TEST(SendProgress, NotStartedWithoutSmtpOrWithTheOptionOff) {
  struct Case {
    TMailMode mail;
    bool show;
    THostKind host;
  } cases[] = {{mmNone, true, THostKind::Gui},
               {mmMailClient, true, THostKind::Gui},
               {mmDirect, false, THostKind::Gui},
               {mmDirect, true, THostKind::Console}};
  for (const Case& c : cases) {
    TestOptions options;
    options.SetMailMode(c.mail);
    options.SetShowSmtpProgress(c.show);
    EXPECT_FALSE(StartSendProgress(options, c.host));
    EXPECT_FALSE(IsSendProgressShowing());
    EXPECT_EQ(FindWindowA("#32770", "SMTP."), nullptr);
    SetSendProgressText("ignored");
    SetSendProgressPosition(10);
    CloseSendProgress();
  }
}

TEST(SendProgress, SmtpErrorWhileUpIsShownInABox) {
  core::InstallCorePlatform();  // the message box of the error reports
  TestOptions options;
  options.SetMailMode(mmDirect);
  ASSERT_TRUE(StartSendProgress(options, THostKind::Gui));
  Worker worker([] { SetStepError(eeEmailSMTPError, "Server said no."); });
  HWND box = WaitForDialog("Error.", worker.ThreadId(), 5000);
  ASSERT_NE(box, nullptr) << "the warning is shown while the progress dialog is up";
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(worker.Wait());
  CloseSendProgress();
  // Not showing: recorded only.
  SetStepError(eeEmailSMTPError, "Recorded only.");
  EXPECT_EQ(LastStepError().Message, "Recorded only.");
}
