// The options file of the post-build tool: what it accepts, how it names a bad line, and that
// what it writes reads back to the same options.
#include "tools/options_ini.h"

#include <gtest/gtest.h>

using namespace vl;

using namespace vl::tools;

namespace {

// The options stream and the extension.
std::vector<uint8_t> Stream(const TVantorModuleOptions& options) {
  core::TMemoryStream stream;
  options.SaveToStream(stream);
  options.SaveExtension(stream);
  return stream.Data();
}

// The message of the error the text raises, or "" when it is accepted.
std::string Rejection(const std::string& text) {
  TVantorModuleOptions options("", false);
  try {
    ApplyOptionsIni(text, "app.ini", options);
  } catch (const EOptionsIniError& e) {
    return e.what();
  }
  return "";
}

TEST(OptionsIni, FieldsAndTextsByNameOthersKeepTheirDefaults) {
  TVantorModuleOptions options("", false);
  ApplyOptionsIni(
      "\xEF\xBB\xBF; comment\n[Options]\r\nTellUser = "
      "no\nWatchdogSeconds=-5\nSmtpServerPort=0x1F90\n"
      "MailMode=2\nThirdButtonAction=tbTerminate\nReportItems=0xFF\nSmtpServer=  mail.local  \n"
      "MailBodyText=\"  two\\r\\nlines \\\"quoted\\\" \\\\ \"\n# another comment\n[Texts]\n"
      "Log/Type=Kind\nLog/Type#2=OS\nCPU/Memory Dump=\n"
      "FilterClasses=EAbort\nFilterMessages=Quiet\nFilterClasses=EZeroDivide\nFilterMessages=\n",
      "app.ini", options);
  EXPECT_FALSE(options.TellUser());
  EXPECT_EQ(options.WatchdogSeconds(), -5);
  EXPECT_EQ(options.SmtpServerPort(), 8080);
  EXPECT_EQ(options.MailMode(), mmViaServer);
  EXPECT_EQ(options.ThirdButtonAction(), tbTerminate);
  EXPECT_EQ(options.ReportItems(), 0xFFu);
  EXPECT_EQ(options.SmtpServer(), "mail.local");
  EXPECT_EQ(options.MailBodyText(), "  two\r\nlines \"quoted\" \\ ");
  EXPECT_EQ(options.TextTable(core::txLogType), "Kind");
  EXPECT_EQ(options.TextTable(core::txLogOsType), "OS");
  EXPECT_EQ(options.TextTable(core::txCpuMemoryDump), "");
  EXPECT_EQ(options.FilterClasses().Strings(), (std::vector<std::string>{"EAbort", "EZeroDivide"}));
  EXPECT_EQ(options.FilterMessages().Strings(), (std::vector<std::string>{"Quiet", ""}));

  TVantorModuleOptions defaults("", false);
  EXPECT_EQ(options.SmtpSender(), defaults.SmtpSender());
  EXPECT_EQ(options.TextTable(core::txDialogCaption), defaults.TextTable(core::txDialogCaption));
  EXPECT_EQ(options.ShowThirdButton(), defaults.ShowThirdButton());
}

TEST(OptionsIni, BadLinesAreRejectedWithFileAndLine) {
  EXPECT_EQ(Rejection("TellUser=true\n\nTellUser2=false\n"),
            "app.ini(3): unknown key \"TellUser2\"");
  EXPECT_EQ(Rejection("; one\nSmtpServerPort=70000\n"),
            "app.ini(2): bad value for \"SmtpServerPort\": \"70000\" is out of range (0 to 65535)");
  EXPECT_EQ(Rejection("TellUser=maybe"),
            "app.ini(1): bad value for \"TellUser\": \"maybe\" is not a boolean (true/false)");
  EXPECT_EQ(Rejection("[Options]\nTellUser\n"),
            "app.ini(2): \"key=value\" expected, found \"TellUser\"");
  EXPECT_EQ(Rejection("[Mail]\n"), "app.ini(1): unknown section [Mail]");
  EXPECT_EQ(Rejection("TellUser=1\r\nTellUser=0\r\n"),
            "app.ini(2): \"TellUser\" is already set on line 1");
  EXPECT_EQ(Rejection("Log/Type#3=x\n"), "app.ini(1): unknown key \"Log/Type#3\"");
  EXPECT_NE(Rejection("MailSubject=\"open\n").find("app.ini(1): "), std::string::npos);
  EXPECT_NE(Rejection("\n\nMailSubject=a\\qb\n").find("app.ini(3): "), std::string::npos);
  EXPECT_NE(Rejection("MailMode=mmCarrierPigeon\n").find("app.ini(1): "), std::string::npos);
  EXPECT_NE(Rejection("WatchdogSeconds=12abc\n").find("app.ini(1): "), std::string::npos);
  EXPECT_NE(Rejection("WatchdogSeconds=99999999999\n").find("out of range"), std::string::npos);
  EXPECT_NE(Rejection("ReportItems=0x-1\n").find("app.ini(1): "), std::string::npos);
  EXPECT_NE(Rejection("FilterClasses=EAbort\n").find("must come in pairs"), std::string::npos);
  EXPECT_EQ(Rejection("\n; only comments\n\n"), "");
  EXPECT_EQ(Rejection("UploadUrl=ftp://crash.example/"),
            "app.ini(1): bad value for \"UploadUrl\": \"ftp://crash.example/\" is not an upload "
            "address: it does not start with http:// or https://");
  EXPECT_EQ(
      Rejection("SmtpSecurity=ssl"),
      "app.ini(1): bad value for \"SmtpSecurity\": \"ssl\" is not one of none, starttls, tls");
  EXPECT_EQ(Rejection("AttachMinidump=sometimes"),
            "app.ini(1): bad value for \"AttachMinidump\": \"sometimes\" is not a boolean "
            "(true/false)");
  EXPECT_EQ(Rejection("UploadUrl=\nSmtpSecurity=tls\nAttachMinidump=yes\n"), "");
}

TEST(OptionsIni, WrittenFileReadsBackToTheSameStream) {
  TVantorModuleOptions options("", false);
  options.SetTellUser(false);
  options.SetHandlingFlags(hfSkipRepeats | hfAskSteps);
  options.SetMailMode(mmDirect);
  options.SetThirdButtonAction(tbTerminate);
  options.SetWatchdogMessage("tab\there; \"quote\" \\ end ");
  options.SetLogLocation("C:\\Logs\\app.vlf");
  options.SetUploadUrl("http://127.0.0.1:8080/api/2/minidump/?sentry_key=abc");
  options.SetAttachMinidump(true);
  options.SetSmtpSecurity(ssStartTls);
  options.FilterClasses().Add("EAbort");
  options.FilterMessages().Add("= not a key =");
  for (uint8_t i = 0; i < core::TextCount; ++i) {
    options.SetTextTable(i, "text " + std::to_string(i) + "\r\n");
  }
  TVantorModuleOptions again("", false);
  ApplyOptionsIni(WriteOptionsIni(options), "dump.ini", again);
  EXPECT_EQ(Stream(again), Stream(options));
}

// Every byte the INI accepts for a field is one the program reads back from the block.
TEST(OptionsIni, EveryAcceptedByteReadsBackFromTheStream) {
  for (const char* value : {"0", "3", "4", "200", "255"}) {
    TVantorModuleOptions options("", false);
    const std::string text = std::string("FirstDetailsPage=") + value + "\nMailMode=" + value +
                             "\nThirdButtonAction=" + value + "\nHandlingFlags=" + value + "\n";
    ASSERT_EQ(Rejection(text), "") << value;
    ApplyOptionsIni(text, "app.ini", options);
    std::vector<uint8_t> stream = Stream(options);
    core::TMemoryStream in(stream.data(), stream.size());
    TVantorModuleOptions read("", false);
    ASSERT_NO_THROW(read.LoadFromStream(in)) << value;
    EXPECT_EQ(Stream(read), stream) << value;
    TVantorModuleOptions again("", false);
    ApplyOptionsIni(WriteOptionsIni(read), "dump.ini", again);
    EXPECT_EQ(Stream(again), stream) << value << ": the dump reads back";
  }
  EXPECT_NE(Rejection("MailMode=256\n").find("out of range"), std::string::npos);
}

}  // namespace
