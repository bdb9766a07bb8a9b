// The redirected host-framework handlers in a real program: the exception manager decides
// whether the framework's own handling (its box, its 500, its event-log write) still runs.
#include <gtest/gtest.h>

#include "support/win_process.h"

using testsupport::BoxText;
using testsupport::ChildProcess;
using testsupport::ExeFolder;
using testsupport::ReadFileText;

namespace {

std::string Program() { return "\"" + ExeFolder() + "framework_hooks_program.exe\""; }

std::string LogFor(const std::string& mode) {
  std::string log = ExeFolder() + "hooks_" + mode + ".log";
  DeleteFileA(log.c_str());
  return log;
}

const char kManagerLine[] = "manager EConvertError: '<12x>' is not a valid integer value\n";

}  // namespace

TEST(FrameworkHooks, GuiHandlerReportedBoxOnlyWhenTheFrameworkMayHandle) {
  {
    std::string log = LogFor("gui-report");
    ChildProcess child(Program() + " \"" + log + "\" gui-report");
    BoxText box;
    EXPECT_FALSE(child.DismissBox(box, 3000)) << box.caption << ": " << box.text;
    EXPECT_EQ(child.Wait(), 0u);
    EXPECT_EQ(ReadFileText(log), std::string("hooks=3\n") + kManagerLine + "end\n");
  }
  {
    std::string log = LogFor("gui-pass");
    ChildProcess child(Program() + " \"" + log + "\" gui-pass");
    BoxText box;
    ASSERT_TRUE(child.DismissBox(box));
    EXPECT_EQ(box.caption, "Framework Hooks Test");
    EXPECT_EQ(box.text, "'<12x>' is not a valid integer value.");
    EXPECT_EQ(child.Wait(), 0u);
    EXPECT_EQ(ReadFileText(log), std::string("hooks=3\n") + kManagerLine + "end\n");
  }
}

TEST(FrameworkHooks, RaisingFrameworkHandlerIsPutBackAndItsErrorPassedOnWithoutALoop) {
  std::string log = LogFor("gui-handler-raises");
  ChildProcess child(Program() + " \"" + log + "\" gui-handler-raises");
  BoxText box;
  ASSERT_TRUE(child.DismissBox(box));
  EXPECT_EQ(box.caption, "Application Error");
  EXPECT_NE(box.text.find("handler failure"), std::string::npos) << box.text;
  EXPECT_EQ(child.Wait(), 1u);
  // The manager saw the form's error once; the handler's own failure did not come round again.
  EXPECT_EQ(ReadFileText(log), std::string("hooks=3\n") + kManagerLine);
}

TEST(FrameworkHooks, CgiFrameworkAnswersOnlyWhenLetThrough) {
  auto report = testsupport::RunCaptured(Program() + " \"" + LogFor("cgi-report") + "\" cgi-report",
                                         {"REQUEST_METHOD=GET"});
  EXPECT_EQ(report.output, "");
  EXPECT_EQ(ReadFileText(ExeFolder() + "hooks_cgi-report.log"),
            "hooks=3\nmanager EConvertError: cgi failure\nend\n");
  auto pass = testsupport::RunCaptured(Program() + " \"" + LogFor("cgi-pass") + "\" cgi-pass",
                                       {"REQUEST_METHOD=GET"});
  EXPECT_EQ(pass.output.rfind("Status: 500 Internal Server Error\r\n", 0), 0u) << pass.output;
}

TEST(FrameworkHooks, ServiceEventLogWriteOnlyWhenLetThroughOrNoErrorIsBeingHandled) {
  struct Case {
    const char* mode;
    const char* log;
  } cases[] = {
      {"service-report", "hooks=3\nmanager EConvertError: service failure\nend\n"},
      {"service-pass",
       "hooks=3\nmanager EConvertError: service failure\nsink 1: service failure\nend\n"},
      {"service-outside", "hooks=3\nsink 4: plain information\nend\n"},
  };
  for (const Case& c : cases) {
    std::string log = LogFor(c.mode);
    ChildProcess child(Program() + " \"" + log + "\" " + c.mode);
    EXPECT_EQ(child.Wait(), 0u) << c.mode;
    EXPECT_EQ(ReadFileText(log), c.log) << c.mode;
  }
}
