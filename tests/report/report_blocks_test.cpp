// The whole report assembled from facts: a golden report, the report-item bits, the exception
// texts, the reproduction block, and the way back through the log's duplicate test.
#include "report/report_blocks.h"

#include <gtest/gtest.h>

#include "core/module_texts.h"
#include "report/log_text.h"

using namespace vl;

namespace {

report::TReportFacts SampleFacts() {
  report::TReportFacts f;
  f.StartDate = "Tue, 8 Dec 2026 23:00:00 +0000";
  f.AppName = "demo.exe";
  f.AppVersion = "1.2.3.4";
  f.Parameters = "\"a b\" \"c\"";
  f.ExceptionDate = "Tue, 8 Dec 2026 23:00:05 +0000";
  f.ExceptionAddress = 0x00401000;
  f.ExceptionModule = "demo.exe";
  f.ObjectClassName = "EAccessViolation";
  f.ObjectHasMessage = true;
  f.ObjectMessage = "Access violation\r\nat address 00401000";
  f.FormClass = "TForm1";
  f.FormText = "Demo";
  f.ControlClass = "Edit";
  f.ControlText = "******";
  f.ComputerName = "HOST";
  f.UserName = "user";
  f.TotalMemory = "1024 Mb";
  f.FreeMemory = "512 Mb";
  f.TotalDisk = "100 Gb";
  f.FreeDisk = "1.5 Gb";
  f.OsName = "Microsoft Windows XP";
  f.OsBuild = "2600";
  f.OsUpdate = "Service Pack 3";
  f.OsLanguage = "English";
  f.Stack.push_back({4, 0x00401000, "C:\\demo.exe", 1, "main", "", "Crash", 12});
  f.Modules.push_back({0x00400000, "C:\\demo.exe", "", "", 2048});
  f.Cpu.PointerSize = 4;
  return f;
}

TEST(ReportBlocks, AssemblesTheGoldenReport) {
  TVantorModuleOptions options("demo.exe", false);
  const report::TReportBlocks blocks = report::BuildReportBlocks(SampleFacts(), options);
  const std::string expected =
      "VantorLog 4.5.4\r\n"
      "\r\n"
      "Application:\r\n"
      "------------------------------------------------------\r\n"
      "  1.1 Start Date      : Tue, 8 Dec 2026 23:00:00 +0000\r\n"
      "  1.2 Name/Description: demo.exe\r\n"
      "  1.3 Version Number  : 1.2.3.4\r\n"
      "  1.4 Parameters      : \"a b\" \"c\"\r\n"
      "\r\n"
      "Exception:\r\n"
      "-----------------------------------------------------\r\n"
      "  2.1 Date   : Tue, 8 Dec 2026 23:00:05 +0000\r\n"
      "  2.2 Address: 00401000\r\n"
      "  2.3 Module : demo.exe\r\n"
      "  2.4 Type   : EAccessViolation\r\n"
      "  2.5 Message: Access violation  at address 00401000.\r\n"
      "\r\n"
      "Active Controls:\r\n"
      "---------------------------\r\n"
      "  3.1 Form Class   : TForm1\r\n"
      "  3.2 Form Text    : Demo\r\n"
      "  3.3 Control Class: Edit\r\n"
      "  3.4 Control Text : ******\r\n"
      "\r\n"
      "Computer:\r\n"
      "---------------------------\r\n"
      "  4.1 Name        : HOST\r\n"
      "  4.2 User        : user\r\n"
      "  4.3 Total Memory: 1024 Mb\r\n"
      "  4.4 Free Memory : 512 Mb\r\n"
      "  4.5 Total Disk  : 100 Gb\r\n"
      "  4.6 Free Disk   : 1.5 Gb\r\n"
      "\r\n"
      "Operating System:\r\n"
      "------------------------------------\r\n"
      "  5.1 Type    : Microsoft Windows XP\r\n"
      "  5.2 Build # : 2600\r\n"
      "  5.3 Update  : Service Pack 3\r\n"
      "  5.4 Language: English\r\n"
      "\r\n"
      "Call Stack Information:\r\n"
      "----------------------------------------------------\r\n"
      "|Address |Module  |Unit|Class|Procedure/Method|Line|\r\n"
      "----------------------------------------------------\r\n"
      "|00401000|demo.exe|main|     |Crash           |12  |\r\n"
      "----------------------------------------------------\r\n"
      "\r\n"
      "Modules Information:\r\n"
      "-------------------------------------------------\r\n"
      "|Handle  |Name    |Description|Version|Size|Path|\r\n"
      "-------------------------------------------------\r\n"
      "|00400000|demo.exe|           |       |2048|C:\\ |\r\n"
      "-------------------------------------------------\r\n"
      "\r\n"
      "Registers:\r\n"
      "-----------------------------\r\n"
      "EAX: ????   EDI: ????\r\n"
      "EBX: ????   ESI: ????\r\n"
      "ECX: ????   ESP: ????\r\n"
      "EDX: ????   EIP: ????\r\n"
      "\r\n"
      "Stack:               Memory Dump:\r\n"
      "------------------   "
      "---------------------------------------------------------------------------\r\n";
  EXPECT_EQ(blocks.Full, expected);
  EXPECT_EQ(blocks.SendText, blocks.Full);
  EXPECT_EQ(blocks.HeaderLine, options.TextTable(core::txDialogErrorMessage) + "\r\n\r\n");
  EXPECT_EQ(blocks.ErrorMessage, "Access violation\r\nat address 00401000.");
  EXPECT_EQ(blocks.Duplicate.Values(),
            (std::vector<std::string>{"00401000", "demo.exe", "EAccessViolation",
                                      "Access violation  at address 00401000."}));
}

TEST(ReportBlocks, NumbersStayFixedWhateverIsHidden) {
  TVantorModuleOptions options("demo.exe", false);
  options.SetReportItems(0);
  report::TReportFacts facts = SampleFacts();
  const report::TReportBlocks none = report::BuildReportBlocks(facts, options);
  EXPECT_EQ(none.General, "VantorLog 4.5.4\r\n\r\n");
  EXPECT_EQ(none.Full.substr(0, 44), "VantorLog 4.5.4\r\n\r\n\r\nCall Stack Information:");

  options.SetReportItems((1u << core::riAppParameters) | (1u << core::riExceptMessage));
  EXPECT_EQ(report::BuildGeneralBlock(facts, options),
            "VantorLog 4.5.4\r\n\r\n"
            "Application:\r\n"
            "---------------------------\r\n"
            "  1.4 Parameters: \"a b\" \"c\"\r\n"
            "\r\n"
            "Exception:\r\n"
            "-----------------------------------------------------\r\n"
            "  2.5 Message: Access violation  at address 00401000.\r\n");

  // Web hosts and console programs never show the active controls.
  options.SetReportItems(0xFFFFFFFFu);
  facts.WebOrConsole = true;
  const std::string general = report::BuildGeneralBlock(facts, options);
  EXPECT_EQ(general.find("Active Controls"), std::string::npos);
  EXPECT_NE(general.find("\r\n  4.1 Name"), std::string::npos);
}

TEST(ReportBlocks, ExceptionTypeAndMessageFallBackInOrder) {
  struct Case {
    const char* explicitType;
    const char* objectClass;
    const char* explicitMessage;
    bool hasMessage;
    const char* objectMessage;
    const char* type;
    const char* message;
  } cases[] = {
      {"EMine", "EOther", "Said.", true, "Object", "EMine", "Said."},
      {"", "EOther", "", true, "Object", "EOther", "Object."},
      {"", "EOther", "", false, "Object", "EOther", "Unknown error message."},
      {"", "", "", false, "", "Unknown exception type.", "Unknown error message."},
      {"", "E", "", true, "", "E", ""},  // an empty message stays empty
      {"", "E", "Ends with dot.", true, "", "E", "Ends with dot."},
      {"", "E", "Two\r\nlines", true, "", "E", "Two\r\nlines."},
  };
  for (const Case& c : cases) {
    report::TReportFacts f;
    f.ExplicitType = c.explicitType;
    f.ObjectClassName = c.objectClass;
    f.ExplicitMessage = c.explicitMessage;
    f.ObjectHasMessage = c.hasMessage;
    f.ObjectMessage = c.objectMessage;
    EXPECT_EQ(report::ExceptionTypeText(f), c.type);
    EXPECT_EQ(report::ExceptionMessageText(f), c.message);
  }
}

TEST(ReportBlocks, AddressZeroShowsAnEmptyAddressAndNoDump) {
  TVantorModuleOptions options("demo.exe", false);
  report::TReportFacts facts = SampleFacts();
  facts.ExceptionAddress = 0;
  facts.Cpu.StackBytes.assign(64, 1);
  facts.Cpu.CodeBytes.assign(256, 2);
  const report::TReportBlocks blocks = report::BuildReportBlocks(facts, options);
  EXPECT_NE(blocks.Full.find("\r\n  2.2 Address: \r\n"), std::string::npos);
  EXPECT_EQ(blocks.Duplicate.Address, "");
  EXPECT_EQ(blocks.Cpu.substr(blocks.Cpu.size() - 6), "----\r\n");
}

TEST(ReportBlocks, RebuildReplacesOnlyTheGeneralBlock) {
  TVantorModuleOptions options("demo.exe", false);
  report::TReportFacts facts = SampleFacts();
  report::TReportBlocks blocks = report::BuildReportBlocks(facts, options);
  blocks.Cpu = "kept CPU\r\n";
  facts.ExplicitType = "ECrossModule";
  facts.ExplicitMessage = "From the other module";
  report::RebuildGeneralBlock(blocks, facts, options);
  EXPECT_NE(blocks.Full.find("  2.4 Type   : ECrossModule\r\n"), std::string::npos);
  EXPECT_EQ(blocks.Full.substr(blocks.Full.size() - 14), "\r\n\r\nkept CPU\r\n");
  EXPECT_EQ(blocks.SendText, blocks.Full);
  EXPECT_EQ(blocks.Duplicate.Message, "From the other module.");
}

TEST(ReportBlocks, ALoggedReportIsFoundAgainByItsDuplicateValues) {
  TVantorModuleOptions options("demo.exe", false);
  report::TReportFacts facts = SampleFacts();
  facts.ExplicitMessage = "Value: with a colon\tand a tab";
  const report::TReportBlocks blocks = report::BuildReportBlocks(facts, options);
  report::TLogText log;
  log.Add(report::WithReproductionBlock(blocks.Full, "Request", "step 1\r\n\r\n\r\n\r\nstep 2"),
          32);
  report::TLogText reloaded;
  reloaded.Load(log.GetText());
  ASSERT_EQ(reloaded.Count(), 1);
  EXPECT_TRUE(reloaded.Find(blocks.Duplicate.Keys(), blocks.Duplicate.Values()));
  facts.ExplicitMessage = "Another";
  const report::TReportBlocks other = report::BuildReportBlocks(facts, options);
  EXPECT_FALSE(reloaded.Find(other.Duplicate.Keys(), other.Duplicate.Values()));
}

TEST(ReportBlocks, TheReproductionBlockKeepsTheReportOneEntry) {
  EXPECT_EQ(report::WithReproductionBlock("R\r\n", "Request", "a\r\n\r\n\r\nb\n\n\nc\r\n\r\nd"),
            "R\r\n\r\nRequest:\r\n----------------------------------------\r\na\r\n\r\nb\r\n\r\nc"
            "\r\n\r\nd");
  const std::string extended =
      report::WithReproductionBlock("VantorLog 4.5.4\r\n", "Request", "x\r\r\r\r\r\n\n\ny");
  report::TLogText log;
  log.Add(extended, 5);
  log.Add(extended, 5);
  report::TLogText reloaded;
  reloaded.Load(log.GetText());
  EXPECT_EQ(reloaded.Count(), 2);
  EXPECT_EQ(reloaded.DroppedText(), "");
}

}  // namespace

namespace {

// A long stack keeps both ends around one counting row; a stack of wide rows (cells cut at 256)
// keeps fewer rows at each end until the whole report fits.
TEST(ReportBlocks, ALongCallStackKeepsBothEndsAndTheReportStaysBounded) {
  struct Case {
    size_t Rows;
    size_t Width;
    const char* Gap;  // the counting row, or null when the stack stays whole
    size_t Listed;
  };
  for (const Case& c : {Case{500, 1, nullptr, 500}, Case{501, 1, "(1 row left out)", 501},
                        Case{7678, 1, "(7178 rows left out)", 501},
                        Case{7678, 5000, "(7428 rows left out)", 251}}) {
    report::TReportFacts facts = SampleFacts();
    facts.Stack.clear();
    const std::string wide(c.Width, 'w');
    for (size_t i = 0; i < c.Rows; ++i) {
      facts.Stack.push_back({4, 0x401000 + i, "C:\\demo.exe", 1, wide, wide,
                             "p" + std::to_string(i) + "_" + wide, 1});
      facts.Stack.push_back({0, 0x7000, "", 0, "", "", "", 0});  // never listed, never counted
    }
    const report::TReportBlocks blocks =
        report::BuildBoundedReportBlocks(facts, TVantorModuleOptions("x.exe", false));
    EXPECT_LE(blocks.Full.size(), report::MaxReportBytes);
    EXPECT_NE(blocks.Full.find("|p0_"), std::string::npos) << c.Rows;
    EXPECT_NE(blocks.Full.find("|p" + std::to_string(c.Rows - 1) + "_"), std::string::npos);
    EXPECT_EQ(blocks.Full.find(c.Gap ? c.Gap : " left out)") != std::string::npos,
              c.Gap != nullptr);
    EXPECT_EQ(report::CallStackRows(facts.Stack, 8).size(), c.Listed);
  }
}

}  // namespace
