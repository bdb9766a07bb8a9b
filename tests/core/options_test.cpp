// The options object: defaults, tables, setters and the change check, Assign, the Ex class's
// publishing and watchdog control, and the log-file name rule.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/module_options.h"
#include "core/module_texts.h"
#include "core/upload_url.h"
#include "options_test_support.h"

using namespace vl;

using coretest::FillAll;
using coretest::Save;

namespace {

// Records what the options ask of the rest of the crash reporter. The module called
// "C:\App\own.exe" plays the module that contains the crash reporter.
struct Recorder {
  static inline int Published = 0;
  static inline std::vector<uint8_t> LastPublished;
  static inline const TVantorModuleOptions* Current = nullptr;
  static inline std::vector<std::string> Watchdog;
};

class OptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Recorder::Published = 0;
    Recorder::LastPublished.clear();
    Recorder::Current = nullptr;
    Recorder::Watchdog.clear();
    auto& p = core::Seams();
    p.IsCrashReporterModule = [](const std::string& name) { return name == "C:\\App\\own.exe"; };
    p.PublishModuleFile = [](const std::vector<uint8_t>& data) {
      ++Recorder::Published;
      Recorder::LastPublished = data;
    };
    p.IsCurrentOptions = [](const TVantorModuleOptions* o) { return o == Recorder::Current; };
    p.StartFreezeWatchdog = [] { Recorder::Watchdog.push_back("start"); };
    p.StopFreezeWatchdog = [] { Recorder::Watchdog.push_back("stop"); };
  }
  void TearDown() override { core::Seams() = core::TSeams(); }
};

}  // namespace

TEST(OptionsTables, NamesAndDefaults) {
  EXPECT_STREQ(core::ReportItemNames[0], "Application|Start Date");
  EXPECT_STREQ(core::ReportItemNames[core::riOSBuildNumber], "Operating System|Build #");
  EXPECT_STREQ(core::ReportItemNames[22], "Operating System|Language");

  EXPECT_STREQ(core::DefaultTexts[core::txDialogErrorMessage],
               "An error has occurred during program execution.\r\n"
               "Please read the following information for further details.");
  EXPECT_STREQ(core::DefaultTexts[core::txLogOsType], "Type");
  EXPECT_STREQ(core::DefaultTexts[70], "Memory Dump");
  EXPECT_STREQ(core::TextReference(core::txStackProcedureMethod), "Call Stack/Procedure/Method");
  EXPECT_STREQ(core::TextReference(71), "");

  // Each group name followed by its items, in the order of the groups.
  const char* const* n = core::TextGroupNames;
  EXPECT_STREQ(n[0], "Texts");
  EXPECT_STREQ(n[1], "Message captions");
  EXPECT_STREQ(n[4], "Exception Dialog");
  EXPECT_STREQ(n[22], "SMTP Dialog");
  EXPECT_STREQ(n[29], "Reproduce Dialog");
  EXPECT_STREQ(n[33], "Log");
  EXPECT_STREQ(n[34], "Application Header");
  EXPECT_STREQ(n[62], "Call Stack");
  EXPECT_STREQ(n[69], "Modules List");
  EXPECT_STREQ(n[76], "CPU");
  EXPECT_STREQ(n[79], "Memory Dump");
}

TEST_F(OptionsTest, DefaultsOfANewObject) {
  TVantorModuleOptionsEx o("C:\\App\\prog.exe", true);
  EXPECT_TRUE(o.ReservedFlag());
  EXPECT_TRUE(o.FiltersOn());
  EXPECT_EQ(o.HandlingFlags(), 0);
  EXPECT_TRUE(o.TellUser());
  EXPECT_FALSE(o.ReportInBody() || o.SendWholeLog() || o.AddScreenshot());
  EXPECT_TRUE(o.ShowSmtpProgress() && o.AppendToLog() && o.PaintedDialogs());
  EXPECT_FALSE(o.WatchdogOn());
  EXPECT_EQ(o.WatchdogSeconds(), 60);
  EXPECT_EQ(o.WatchdogMessage(), "The application seems to be frozen.");
  EXPECT_EQ(o.SmtpSender(), core::DefaultSmtpSender);
  EXPECT_EQ(o.SmtpServerPort(), 25);
  EXPECT_EQ(o.ThirdButtonAction(), tbRestart);
  EXPECT_TRUE(o.ShowThirdButton());
  EXPECT_EQ(o.LogCapacity(), 32);
  EXPECT_EQ(o.ThirdButtonAfter(), 3);
  EXPECT_EQ(o.MailMode(), mmNone);
  EXPECT_EQ(o.ReportItems(), 0xFFFFFFFFu);
  EXPECT_TRUE(o.Active());
  EXPECT_EQ(o.UpdateCount(), 0);
  EXPECT_EQ(o.TextTable(core::txSmtpResolvingMessage), "Resolving MX record...");
  EXPECT_EQ(o.TextTable(200), "");
  EXPECT_EQ(Recorder::Published, 0);  // not the crash reporter's module
}

TEST_F(OptionsTest, SetDefaultsRestoresFieldsButKeepsFilters) {
  TVantorModuleOptions o("", false);
  FillAll(o);
  o.SetActive(false);
  o.SetDefaults();
  TVantorModuleOptions fresh("", false);
  fresh.FilterClasses().Assign(o.FilterClasses());
  fresh.FilterMessages().Assign(o.FilterMessages());
  EXPECT_EQ(Save(o), Save(fresh));
  EXPECT_TRUE(o.Active());
  EXPECT_EQ(o.FilterClasses().Count(), 3);
}

TEST_F(OptionsTest, LogCapacityZeroThroughTheSetterStoresOne) {
  TVantorModuleOptions o("", false);
  o.SetLogCapacity(0);
  EXPECT_EQ(o.LogCapacity(), 1);
  o.SetLogCapacity(5);
  EXPECT_EQ(o.LogCapacity(), 5);
}

TEST_F(OptionsTest, ChangesPublishOnlyForTheCrashReportersOwnModule) {
  TVantorModuleOptionsEx own("C:\\App\\own.exe", true);
  EXPECT_EQ(Recorder::Published, 1);  // the defaults, at creation
  own.SetMailSubject("x");
  EXPECT_EQ(Recorder::Published, 2);
  // One byte 1, then the stream and the extension.
  std::vector<uint8_t> expected{1};
  core::TMemoryStream stream;
  own.SaveToStream(stream);
  own.SaveExtension(stream);
  expected.insert(expected.end(), stream.Data().begin(), stream.Data().end());
  EXPECT_EQ(Recorder::LastPublished, expected);

  own.FilterClasses().Add("EFoo");  // the filter lists run the check too
  EXPECT_EQ(Recorder::Published, 3);

  own.BeginUpdate();
  own.SetMailSubject("y");
  own.SetLogCapacity(4);
  EXPECT_EQ(Recorder::Published, 3);
  own.EndUpdate();
  EXPECT_EQ(Recorder::Published, 3);  // EndUpdate alone does not publish

  TVantorModuleOptionsEx other("C:\\App\\plugin.dll", true);
  TVantorModuleOptionsEx noApply("C:\\App\\own.exe", false);
  other.SetMailSubject("z");
  noApply.SetMailSubject("z");
  EXPECT_EQ(Recorder::Published, 3);

  // Assign, SetDefaults and LoadFromStream publish once each.
  own.Assign(&other);
  EXPECT_EQ(Recorder::Published, 4);
  own.SetDefaults();
  EXPECT_EQ(Recorder::Published, 5);
  coretest::Load(own, Save(other));
  EXPECT_EQ(Recorder::Published, 6);
}

TEST_F(OptionsTest, AssignCopiesTheStreamedFieldsOnly) {
  TVantorModuleOptionsEx source("C:\\App\\a.exe", true);
  FillAll(source);
  source.SetActive(false);
  TVantorModuleOptionsEx target("C:\\App\\own.exe", true);
  Recorder::Published = 0;
  target.Assign(&source);
  EXPECT_EQ(Save(target), Save(source));
  EXPECT_TRUE(target.Active());
  EXPECT_EQ(target.ModuleName(), "C:\\App\\own.exe");
  EXPECT_EQ(target.UpdateCount(), 0);
  EXPECT_EQ(Recorder::Published, 1);
}

TEST_F(OptionsTest, AssignFromItselfChangesAndPublishesNothing) {
  TVantorModuleOptionsEx own("C:\\App\\own.exe", true);
  FillAll(own);
  std::vector<uint8_t> before = Save(own);
  Recorder::Published = 0;
  own.Assign(&own);
  EXPECT_EQ(Recorder::Published, 0);
  EXPECT_EQ(Save(own), before);
}

TEST_F(OptionsTest, AssignOfNothingRaisesAndKeepsTheTarget) {
  TVantorModuleOptionsEx own("C:\\App\\own.exe", true);
  FillAll(own);
  std::vector<uint8_t> before = Save(own);
  Recorder::Published = 0;
  try {
    own.Assign(nullptr);
    ADD_FAILURE() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message, "Impossible to assign nil as TVantorModuleOptions.");
  }
  EXPECT_EQ(Save(own), before);
  EXPECT_EQ(own.UpdateCount(), 0);
}

TEST_F(OptionsTest, WatchdogFollowsActiveAndWatchdogOnOfTheCurrentOptions) {
  TVantorModuleOptionsEx current("C:\\App\\own.exe", true);
  TVantorModuleOptionsEx other("C:\\App\\plugin.dll", true);
  Recorder::Current = &current;

  other.SetWatchdogOn(true);  // not the current options: only stored
  EXPECT_TRUE(other.WatchdogOn());
  EXPECT_TRUE(Recorder::Watchdog.empty());

  current.SetWatchdogOn(true);
  current.SetWatchdogOn(true);  // same value: nothing
  current.SetActive(false);
  current.SetActive(true);
  current.SetWatchdogOn(false);
  EXPECT_EQ(Recorder::Watchdog, (std::vector<std::string>{"start", "stop", "start", "stop"}));

  // Assign sets WatchdogOn through the virtual slot.
  Recorder::Watchdog.clear();
  current.Assign(&other);
  EXPECT_EQ(Recorder::Watchdog, std::vector<std::string>{"start"});
}

TEST_F(OptionsTest, OutputFileNamesTheLog) {
  TVantorModuleOptions o("C:\\App\\prog.exe", false);
  EXPECT_EQ(o.OutputLogFile(), "C:\\App\\prog.vlf");
  EXPECT_EQ(o.OutputFile("C:\\App\\prog.vlf"), "C:\\App\\prog.vlf");

  o.SetLogLocation("D:\\Logs");
  EXPECT_EQ(o.OutputLogFile(), "D:\\Logs\\prog.vlf");
  o.SetLogLocation("D:\\Logs\\");
  EXPECT_EQ(o.OutputLogFile(), "D:\\Logs\\prog.vlf");
  o.SetLogLocation("D:\\x\\my.VLF");
  EXPECT_EQ(o.OutputLogFile(), "D:\\x\\my.VLF");
  EXPECT_EQ(o.OutputFile("E:\\other.vlf"), "D:\\x\\my.VLF");

  // No folder anywhere: the root of the current drive.
  o.SetLogLocation("");
  EXPECT_EQ(o.OutputFile("prog.vlf"), "\\prog.vlf");
  TVantorModuleOptions unnamed("", false);
  EXPECT_EQ(unnamed.OutputLogFile(), "\\.vlf");
}

// The watchdog and the dialogs read texts on their own threads while the pipeline assigns other
// options: every read gives one whole text, never a torn or freed one.
TEST(OptionsThreads, TextsReadWhileAnotherThreadAssigns) {
  TVantorModuleOptions target("", false), first("", false), second("", false);
  const std::string a(300, 'a'), b(1000, 'b');
  first.SetTextTable(0, a);
  first.SetWatchdogMessage(a);
  second.SetTextTable(0, b);
  second.SetWatchdogMessage(b);
  target.Assign(&first);
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  std::thread reader([&] {
    while (!stop) {
      std::string text = target.TextTable(0);
      std::string message = target.WatchdogMessage();
      if ((text != a && text != b) || (message != a && message != b)) ++wrong;
    }
  });
  for (int i = 0; i < 2000; ++i) target.Assign(i % 2 ? &first : &second);
  stop = true;
  reader.join();
  EXPECT_EQ(wrong, 0);
}

// The upload address: the parts an HTTP client connects with, or the start of the reason.
TEST(UploadUrl, SplitIntoHostPortAndPathOrRefused) {
  const std::pair<std::string, const char*> rows[] = {
      {"https://o0.ingest.sentry.io/api/5/minidump/?sentry_key=k",
       "1 o0.ingest.sentry.io 443 /api/5/minidump/?sentry_key=k"},
      {"HTTP://127.0.0.1:8123", "0 127.0.0.1 8123 /"},
      {"http://a_b.example?q=1#frag", "0 a_b.example 80 /?q=1"},
      {"ftp://host/", "it does not start with"},
      {"http://:80/", "it names no host"},
      {"http://user:pw@host/", "a user name or password"},
      {"http://[::1]/", "an IPv6 address literal"},
      {"http://host:65536/", "the port is not"},
      {"http://ho%st/", "the host name has"},
      {"http://host/a b", "it contains a blank"},
      {"http://h/" + std::string(2048, 'a'), "it is longer than 2048"},
  };
  for (const auto& [text, parts] : rows) {
    core::TUploadUrl url;
    std::string why;
    const std::string got = core::SplitUploadUrl(text, url, why)
                                ? std::to_string(url.Secure) + " " + url.Host + " " +
                                      std::to_string(url.Port) + " " + url.Path
                                : why;
    EXPECT_EQ(got.rfind(parts, 0), 0u) << text << " -> " << got;
  }
}
