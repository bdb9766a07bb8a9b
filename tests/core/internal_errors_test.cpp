// Step errors and internal-bug reports: their messages, where they go, and the boxes that
// offer to mail the trace.
#include "core/internal_errors.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "trace_support.h"

using namespace vl;

using coretest::TraceTest;
using coretest::WrittenFiles;

namespace {

struct Seen {
  static inline std::vector<std::string> Debug;
  static inline std::vector<std::string> Boxes;  // "caption|text|style"
  static inline int Answer = core::idNo;
  static inline std::vector<std::string> Mails;
  static inline bool MailWorks = false;
  static inline bool SmtpShowing = false;
};

class ErrorsTest : public TraceTest {
 protected:
  void SetUp() override {
    TraceTest::SetUp();
    Seen::Debug.clear();
    Seen::Boxes.clear();
    Seen::Answer = core::idNo;
    Seen::Mails.clear();
    Seen::MailWorks = false;
    Seen::SmtpShowing = false;
    auto& p = core::Seams();
    p.DebugOutput = [](const std::string& s) { Seen::Debug.push_back(s); };
    p.ShowMessageBox = [](const std::string& text, const std::string& caption, uint32_t style) {
      Seen::Boxes.push_back(caption + "|" + text + "|" + std::to_string(style));
      return Seen::Answer;
    };
    p.IsSmtpProgressShowing = [] { return Seen::SmtpShowing; };
    p.SendMapiMail = [](const std::string& to, const std::string& subject, const std::string& body,
                        const std::string& file) {
      Seen::Mails.push_back(to + "|" + subject + "|" + body + "|" + file);
      return Seen::MailWorks;
    };
  }
};

constexpr uint32_t kBoxFlags = core::mbTaskModal | core::mbTopMost | core::mbServiceNotification;

}  // namespace

TEST_F(ErrorsTest, StepErrorsAreRecordedTracedAndSentToTheDebugger) {
  EXPECT_EQ(LastStepError().Code, eeNone);
  try {
    throw EConvertError("Bad format");
  } catch (...) {
    ReportStepError(eeLogError, "Log");
  }
  EXPECT_EQ(LastStepError().Code, eeLogError);
  EXPECT_EQ(LastStepError().Message, "[Log] Bad format");
  const std::string line = "[WARNING] - Code: eeLogError - Message: \"[Log] Bad format\"";
  EXPECT_EQ(LastLine(), line + "('')");
  EXPECT_EQ(Seen::Debug, std::vector<std::string>{line});
  EXPECT_TRUE(Seen::Boxes.empty());

  try {
    throw std::runtime_error("not ours");
  } catch (...) {
    ReportStepError(eeShowError, "GUI");
  }
  EXPECT_EQ(LastStepError().Message, "General 'GUI' error.");
  try {
    throw EAbort();  // an abort is of the base error class: its message is kept
  } catch (...) {
    ReportStepError(eeShowError, "Dialog");
  }
  EXPECT_EQ(LastStepError().Message, "[Dialog] Operation aborted");
  ReportStepError(eeShowError, "Console");  // outside any handler
  EXPECT_EQ(LastStepError().Message, "General 'Console' error.");

  ClearStepError();
  EXPECT_EQ(LastStepError().Code, eeNone);
  EXPECT_EQ(LastStepError().Message, "");
  EXPECT_STREQ(VantorLogErrorCodeName(eeEmailSMTPError), "eeEmailSMTPError");
  EXPECT_STREQ(VantorLogErrorCodeName(static_cast<TVantorLogErrorCode>(9)), "eeUnknown");
}

TEST_F(ErrorsTest, SmtpErrorsAreShownWhileTheProgressDialogIs) {
  SetStepError(eeEmailSMTPError, "[SMTP] Connection refused");
  EXPECT_TRUE(Seen::Boxes.empty());
  Seen::SmtpShowing = true;
  SetStepError(eeEmailMAPIError, "MAPI failed");
  EXPECT_TRUE(Seen::Boxes.empty());
  SetStepError(eeEmailSMTPError, "[SMTP] Connection refused");
  EXPECT_EQ(Seen::Boxes, std::vector<std::string>{"Error.|[SMTP] Connection refused|" +
                                                  std::to_string(core::mbIconError | kBoxFlags)});
}

TEST_F(ErrorsTest, InternalBugWithTheTraceOnOffersToMailIt) {
  Seen::Answer = core::idYes;
  try {
    throw Exception("Step failed");
  } catch (...) {
    ReportInternalBug("InternalExceptNotify.4");
  }
  const std::string line = "[ERROR] - Section: InternalExceptNotify.4 - Message: \"Step failed\"";
  EXPECT_EQ(Seen::Debug, std::vector<std::string>{line});
  EXPECT_EQ(LastLine(), line + "('')");
  EXPECT_EQ(WrittenFiles::Writes, 2);  // SaveTraceLog, then SaveTraceLogIfRequested
  ASSERT_EQ(Seen::Mails.size(), 1u);
  EXPECT_EQ(Seen::Mails[0], std::string(core::MakerSupportAddress) +
                                "|VantorLog 4.5.4 critical bug.|VantorLog 4.5.4 critical bug."
                                "|C:\\App\\prog.log");
  ASSERT_EQ(Seen::Boxes.size(), 2u);
  EXPECT_EQ(Seen::Boxes[0],
            "Probably internal bug|Error: 'Step failed'\r\n\r\nThis is an internal VantorLog "
            "bug.\r\nDo you want to send the bug information to VantorLog author?|" +
                std::to_string(core::mbYesNo | core::mbIconError | kBoxFlags));
  EXPECT_EQ(Seen::Boxes[1],
            "Information|Cannot connect with your email client.\r\nSend manually the "
            "\"C:\\App\\prog.log\" file to the " +
                std::string(core::MakerBugReportAddress) +
                " email address,\r\nafter click on OK button to close this box.|" +
                std::to_string(core::mbOk | core::mbIconWarning | kBoxFlags));

  // A mail that goes out needs no second box; "No" sends nothing.
  Seen::Boxes.clear();
  Seen::MailWorks = true;
  try {
    throw 42;
  } catch (...) {
    ReportInternalBug("InternalExceptNotify.1");
  }
  EXPECT_EQ(Seen::Boxes.size(), 1u);
  EXPECT_NE(Seen::Boxes[0].find("Error: 'General internal error.'"), std::string::npos);
  Seen::Answer = core::idNo;
  try {
    throw Exception("x");
  } catch (...) {
    ReportInternalBug("S");
  }
  EXPECT_EQ(Seen::Mails.size(), 2u);
}

TEST_F(ErrorsTest, InternalBugDumpsTheCodeAtTheErrorAddress) {
  core::Seams().CurrentErrorAddress = [] { return static_cast<uintptr_t>(0x401000); };
  core::Seams().ReadModuleMemory = [](uintptr_t address, void* buffer, size_t count) {
    EXPECT_EQ(address, 0x401000u);
    EXPECT_EQ(count, 32u);
    for (size_t i = 0; i < count; ++i)
      static_cast<uint8_t*>(buffer)[i] = static_cast<uint8_t>(i * 9);
    return true;
  };
  try {
    throw Exception("x");
  } catch (...) {
    ReportInternalBug("S");
  }
  std::string expected = "Memory Dump: ('";
  for (int i = 0; i < 32; ++i) expected += Format("$%02X ", (i * 9) & 0xFF);
  expected += "')";
  EXPECT_EQ(LastLine(), expected);
}

TEST_F(ErrorsTest, InternalBugStaysQuietForAbortsAndWithTheTraceOff) {
  try {
    throw EAbort();
  } catch (...) {
    ReportInternalBug("InternalExceptNotify.2");
  }
  EXPECT_TRUE(Seen::Debug.empty());
  EXPECT_TRUE(core::TraceLines().empty());
  EXPECT_TRUE(Seen::Boxes.empty());

  core::SetTraceSwitches({});
  try {
    throw Exception("quiet");
  } catch (...) {
    ReportInternalBug("InternalExceptNotify.2");
  }
  EXPECT_EQ(Seen::Debug.size(), 1u);  // the debugger still hears of it
  EXPECT_TRUE(Seen::Boxes.empty());
  EXPECT_EQ(WrittenFiles::Writes, 0);
}

TEST_F(ErrorsTest, AFailingTraceFileDoesNotStopTheReport) {
  core::SetTraceFileWriter(
      [](const std::string& path, const std::string&) { throw EFCreateError(path, "Denied."); });
  Seen::Answer = core::idYes;
  try {
    throw Exception("x");
  } catch (...) {
    EXPECT_NO_THROW(ReportInternalBug("S"));
  }
  EXPECT_EQ(Seen::Boxes.size(), 2u);
}
