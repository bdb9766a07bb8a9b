// The options' binary stream: round trip, the rules for older layouts, the string encoding, and
// streams that end early or hold impossible values.
#include <gtest/gtest.h>

#include "core/module_options.h"
#include "options_test_support.h"

using namespace vl;

using coretest::FillAll;
using coretest::Load;
using coretest::Save;

namespace {

// Writes a stream by hand, in the encoding of the options.
struct StreamBuilder {
  std::vector<uint8_t> b;
  StreamBuilder& U8(uint8_t v) {
    b.push_back(v);
    return *this;
  }
  StreamBuilder& U16(uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
  StreamBuilder& I32(int32_t v) {
    uint32_t u = static_cast<uint32_t>(v);
    return U8(u & 0xFF).U8((u >> 8) & 0xFF).U8((u >> 16) & 0xFF).U8(u >> 24);
  }
  StreamBuilder& Str(const std::string& s) {
    I32(static_cast<int32_t>(s.size()));
    for (char c : s) U8(static_cast<uint8_t>(c) ^ core::OptionsStringMask);
    return *this;
  }
};

bool IsOlderSkippedText(int i) {
  return (i >= 8 && i <= 11) || (i >= 16 && i <= 18) || i == 23 || i == 37 || i == 45 || i == 47 ||
         i == 48 || i >= 53;
}

// A stream in the layout of version 440 (also valid for 421 and 420: each of those reads the
// same items in this order).
std::vector<uint8_t> Layout440(uint8_t tellUser, uint8_t sendFlag, const std::string& server,
                               int32_t watchdog) {
  StreamBuilder s;
  s.U8(1).U8(0).U8(hfAskSteps).U8(tellUser).U8(1);  // ReservedFlag..ReportInBody
  s.U8(0).U8(2);                                    // AppendToLog, FirstDetailsPage
  s.U8(0);                                          // PaintedDialogs
  s.U8(1).I32(watchdog).Str("Old frozen");          // watchdog group, no SmtpSender
  s.Str(server);                                    // SmtpServer, no port
  s.Str("olduser").Str("oldpass").U8(0);            // SmtpUser, password, ThirdButtonAction
  s.U8(0).I32(0).I32(9).Str("old@example.net").Str("Old subject").U8(sendFlag);
  s.I32(0x1234);         // ReportItems
  s.U8(0xEE);            // discarded
  s.Str("C:\\OldLogs");  // LogLocation
  s.I32(1).Str("EOld").Str("Old message");
  s.Str("Old body");
  for (int i = 0; i < core::TextCount; ++i)
    if (!IsOlderSkippedText(i)) s.Str("old " + std::to_string(i));
  return s.b;
}

}  // namespace

TEST(OptionsStream, RoundTripAtTheCurrentVersionRestoresEveryField) {
  TVantorModuleOptions a("C:\\App\\a.exe", false);
  FillAll(a);
  TVantorModuleOptions b("C:\\App\\b.exe", false);
  Load(b, Save(a));

  EXPECT_FALSE(b.ReservedFlag());
  EXPECT_FALSE(b.FiltersOn());
  EXPECT_EQ(b.HandlingFlags(), hfSkipRepeats | hfAskSteps);
  EXPECT_FALSE(b.TellUser());
  EXPECT_TRUE(b.ReportInBody());
  EXPECT_TRUE(b.SendWholeLog());
  EXPECT_TRUE(b.AddScreenshot());
  EXPECT_FALSE(b.ShowSmtpProgress());
  EXPECT_FALSE(b.AppendToLog());
  EXPECT_EQ(b.FirstDetailsPage(), 3);
  EXPECT_FALSE(b.PaintedDialogs());
  EXPECT_TRUE(b.WatchdogOn());
  EXPECT_EQ(b.WatchdogSeconds(), 17);
  EXPECT_EQ(b.WatchdogMessage(), "Frozen!");
  EXPECT_EQ(b.SmtpSender(), "me@example.net");
  EXPECT_EQ(b.SmtpServer(), "smtp.example.net");
  EXPECT_EQ(b.SmtpServerPort(), 2525);
  EXPECT_EQ(b.SmtpUser(), "user");
  EXPECT_EQ(b.SmtpLoginPassword(), "p\xE4ss");
  EXPECT_EQ(b.ThirdButtonAction(), tbTerminate);
  EXPECT_FALSE(b.ShowThirdButton());
  EXPECT_EQ(b.LogCapacity(), 7);
  EXPECT_EQ(b.ThirdButtonAfter(), -1);
  EXPECT_EQ(b.MailRecipients(), "a@example.net;b@example.net");
  EXPECT_EQ(b.MailSubject(), "Crash");
  EXPECT_EQ(b.MailMode(), mmDirect);
  EXPECT_EQ(b.ReportItems(), 0x00400001u);
  EXPECT_EQ(b.LogLocation(), "D:\\Logs");
  EXPECT_EQ(b.FilterClasses().Strings(),
            (std::vector<std::string>{"EAbort", "EConvertError", "EOnlyClass"}));
  // The shorter list comes back padded with an empty message.
  EXPECT_EQ(b.FilterMessages().Strings(), (std::vector<std::string>{"", "Bad number.", ""}));
  EXPECT_EQ(b.MailBodyText(), "Body\r\nsecond line");
  for (int i = 0; i < core::TextCount; ++i)
    EXPECT_EQ(b.TextTable(static_cast<uint8_t>(i)), "Text #" + std::to_string(i));
  // Not part of the stream.
  EXPECT_EQ(b.ModuleName(), "C:\\App\\b.exe");
  EXPECT_TRUE(b.Active());
  // Saving again gives the same bytes.
  EXPECT_EQ(Save(b), Save(a));
}

TEST(OptionsStream, StringsAreLengthPrefixedAndMasked) {
  TVantorModuleOptions o("", false);
  o.SetWatchdogMessage("AB");
  std::vector<uint8_t> bytes = Save(o);
  // 12 one-byte items, then WatchdogSeconds, then the message.
  ASSERT_GE(bytes.size(), 22u);
  EXPECT_EQ(bytes[12], 60);  // WatchdogSeconds, little-endian
  EXPECT_EQ(bytes[16], 2);
  EXPECT_EQ(bytes[17] | bytes[18] | bytes[19], 0);
  EXPECT_EQ(bytes[20], 'A' ^ core::OptionsStringMask);
  EXPECT_EQ(bytes[21], 'B' ^ core::OptionsStringMask);
}

TEST(OptionsStream, AFinalLineBreakIsDroppedOnlyWhenItIsTheFirst) {
  EXPECT_EQ(core::TrimFinalLineBreak("ABC\r\n"), "ABC");
  EXPECT_EQ(core::TrimFinalLineBreak("A\r\nB\r\n"), "A\r\nB\r\n");
  EXPECT_EQ(core::TrimFinalLineBreak("\r\n"), "");
  EXPECT_EQ(core::TrimFinalLineBreak("\n"), "\n");
  EXPECT_EQ(core::TrimFinalLineBreak("AB"), "AB");

  TVantorModuleOptions a("", false), b("", false);
  a.SetMailBodyText("ABC\r\n");
  a.SetMailSubject("A\r\nB\r\n");
  a.SetLogLocation("\r\n");
  Load(b, Save(a));
  EXPECT_EQ(b.MailBodyText(), "ABC");
  EXPECT_EQ(b.MailSubject(), "A\r\nB\r\n");
  EXPECT_EQ(b.LogLocation(), "");
}

TEST(OptionsStream, Version440KeepsTheFieldsItDoesNotCarry) {
  TVantorModuleOptions o("", false);
  FillAll(o);
  Load(o, Layout440(/*tellUser=*/0, /*sendFlag=*/1, "smtp.old.net", 45), 440);

  // Not carried: untouched.
  EXPECT_TRUE(o.SendWholeLog());
  EXPECT_TRUE(o.AddScreenshot());
  EXPECT_FALSE(o.ShowSmtpProgress());
  EXPECT_EQ(o.SmtpSender(), "me@example.net");
  EXPECT_EQ(o.SmtpServerPort(), 2525);
  for (int i = 0; i < core::TextCount; ++i) {
    std::string expected =
        IsOlderSkippedText(i) ? "Text #" + std::to_string(i) : "old " + std::to_string(i);
    EXPECT_EQ(o.TextTable(static_cast<uint8_t>(i)), expected) << i;
  }
  // Carried, with the older meanings.
  EXPECT_TRUE(o.TellUser());  // stored inverted
  EXPECT_EQ(o.MailMode(), mmViaServer);
  EXPECT_EQ(o.WatchdogSeconds(), 45);
  EXPECT_EQ(o.SmtpServer(), "smtp.old.net");
  EXPECT_EQ(o.FirstDetailsPage(), 2);
  EXPECT_EQ(o.ReportItems(), 0x1234u);
  EXPECT_EQ(o.LogLocation(), "C:\\OldLogs");
  EXPECT_EQ(o.LogCapacity(), 0);  // stored directly: the setter's rule does not apply
  EXPECT_EQ(o.FilterClasses().Strings(), std::vector<std::string>{"EOld"});
  EXPECT_EQ(o.FilterMessages().Strings(), std::vector<std::string>{"Old message"});
  EXPECT_EQ(o.MailBodyText(), "Old body");
}

TEST(OptionsStream, OlderSendFlagBecomesAMailMode) {
  TVantorModuleOptions o("", false);
  Load(o, Layout440(1, 1, "", 60), 440);
  EXPECT_EQ(o.MailMode(), mmMailClient);  // no server: the mail client
  EXPECT_FALSE(o.TellUser());
  Load(o, Layout440(1, 0, "smtp.old.net", 60), 440);
  EXPECT_EQ(o.MailMode(), mmNone);
  Load(o, Layout440(1, 7, "smtp.old.net", 60), 440);
  EXPECT_EQ(o.MailMode(), mmViaServer);
}

TEST(OptionsStream, Version421KeptTheWatchdogInMilliseconds) {
  TVantorModuleOptions o("", false);
  o.SetTextTable(14, "mine 14");
  Load(o, Layout440(0, 0, "", 30999), 421);
  EXPECT_EQ(o.WatchdogSeconds(), 30);
  EXPECT_EQ(o.TextTable(14), "old 14");
  Load(o, Layout440(0, 0, "", 30999), 422);
  EXPECT_EQ(o.WatchdogSeconds(), 30999);
}

TEST(OptionsStream, Version420SkipsTextFourteen) {
  TVantorModuleOptions o("", false);
  o.SetTextTable(14, "mine 14");
  o.SetSmtpUser("keep");
  // 420 has no SmtpUser, password and third-button action, and no text 14.
  StreamBuilder s;
  s.U8(1).U8(1).U8(0).U8(0).U8(0).U8(1).U8(0).U8(1).U8(1).I32(5000).Str("m").Str("srv");
  s.U8(1).I32(32).I32(3).Str("").Str("").U8(0).I32(-1).U8(0).Str("").I32(0).Str("");
  int next = 0;
  for (int i = 0; i < core::TextCount; ++i)
    if (!IsOlderSkippedText(i) && i != 14) s.Str("t" + std::to_string(next++));
  Load(o, s.b, 420);
  EXPECT_EQ(o.WatchdogSeconds(), 5);
  EXPECT_EQ(o.SmtpUser(), "keep");
  EXPECT_EQ(o.TextTable(14), "mine 14");
  EXPECT_EQ(o.TextTable(15), "t10");  // 8 to 11 and 14 are not in the stream
}

TEST(OptionsStream, EveryTruncationFailsAndChangesNothing) {
  TVantorModuleOptions source("", false);
  FillAll(source);
  std::vector<uint8_t> full = Save(source);

  TVantorModuleOptions target("C:\\App\\t.exe", false);
  target.SetMailSubject("before");
  target.FilterClasses().Add("EKeep");
  std::vector<uint8_t> before = Save(target);
  for (size_t n = 0; n < full.size(); ++n) {
    std::vector<uint8_t> part(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_THROW(Load(target, part), EVantorOptionsStreamError) << n;
    ASSERT_EQ(Save(target), before) << "changed by a stream of " << n << " bytes";
  }
  EXPECT_EQ(target.UpdateCount(), 0);
  EXPECT_NO_THROW(Load(target, full));
  EXPECT_EQ(target.MailSubject(), "Crash");
}

// Setters, the post-build tool and the reader agree: whatever a setter stores reads back, so a
// block written with such a value is never refused at run time.
TEST(OptionsStream, EveryByteASetterAcceptsReadsBack) {
  for (int v = 0; v < 256; ++v) {
    const auto byte = static_cast<uint8_t>(v);
    TVantorModuleOptions o("", false);
    o.SetFirstDetailsPage(byte);
    o.SetThirdButtonAction(byte);
    o.SetMailMode(static_cast<TMailMode>(byte));
    o.SetHandlingFlags(byte);
    TVantorModuleOptions back("", false);
    ASSERT_NO_THROW(Load(back, Save(o))) << v;
    EXPECT_EQ(back.FirstDetailsPage(), byte);
    EXPECT_EQ(back.ThirdButtonAction(), byte);
    EXPECT_EQ(back.MailMode(), static_cast<TMailMode>(byte));
    EXPECT_EQ(back.HandlingFlags(), byte);
  }
}

TEST(OptionsStream, CorruptLengthsAreRejectedOtherBytesAreKept) {
  TVantorModuleOptions o("", false);
  std::vector<uint8_t> good = Save(o);
  std::vector<uint8_t> before = good;

  // A string length far beyond the stream: an error, not a huge allocation.
  std::vector<uint8_t> hugeString = good;
  hugeString[16] = 0xFF;
  hugeString[17] = 0xFF;
  hugeString[18] = 0xFF;
  hugeString[19] = 0x7F;
  EXPECT_THROW(Load(o, hugeString), EVantorOptionsStreamError);

  std::vector<uint8_t> negative = good;
  negative[19] = 0x80;
  try {
    Load(o, negative);
    ADD_FAILURE() << "negative length accepted";
  } catch (const EVantorOptionsStreamError& e) {
    EXPECT_NE(e.Message.find("WatchdogMessage"), std::string::npos) << e.Message;
  }

  // A boolean byte other than 0 or 1, from any writer, is simply true.
  std::vector<uint8_t> otherBool = good;
  otherBool[0] = 2;
  otherBool[1] = 0xFF;
  TVantorModuleOptions read("", false);
  read.SetFiltersOn(false);
  ASSERT_NO_THROW(Load(read, otherBool));
  EXPECT_TRUE(read.ReservedFlag());
  EXPECT_TRUE(read.FiltersOn());

  // A filter count of two billion with nothing behind it.
  TVantorModuleOptions plain("", false);
  StreamBuilder s;
  s.U8(1).U8(1).U8(0).U8(1).U8(0).U8(0).U8(0).U8(1).U8(1).U8(0).U8(1).U8(0).I32(60).Str("m");
  s.Str("").Str("").U16(25).Str("").Str("").U8(1).U8(1).I32(32).I32(3).Str("").Str("").U8(9);
  EXPECT_THROW(Load(o, s.b), EVantorOptionsStreamError);  // MailMode 9 read, then the end
  s.b.back() = 0;
  s.I32(-1).Str("").I32(0x7FFFFFFF);
  EXPECT_THROW(Load(o, s.b), EVantorOptionsStreamError);

  EXPECT_EQ(Save(o), before);
}

// The options extension: what a block or a published stream carries after its older parts.
// Every row starts from options away from the defaults; "applied" rows end with the values given.
TEST(OptionsExtension, RecordsAreReadSkippedOrRefusedWhole) {
  TVantorModuleOptions full("", false);
  full.SetUploadUrl("https://o0.ingest.example/api/1/minidump/?k=v");
  full.SetAttachMinidump(true);
  full.SetSmtpSecurity(ssTls);
  core::TMemoryStream saved;
  full.SaveExtension(saved);
  const std::vector<uint8_t> good = saved.Data();
  auto head = [](uint32_t n) {
    StreamBuilder s;
    return s.I32(static_cast<int32_t>(core::OptionsExtensionMagic)).I32(static_cast<int32_t>(n));
  };
  std::vector<uint8_t> unknownTag = head(15).U16(99).I32(2).U8(7).U8(7).U16(3).I32(1).U8(1).b;
  std::vector<uint8_t> longFlag = head(8).U16(2).I32(2).U8(1).U8(1).b;
  std::vector<uint8_t> pastEnd = head(20).U16(3).I32(1).U8(1).b;
  std::vector<uint8_t> recordPastEnd = head(7).U16(1).I32(5).U8('x').b;
  std::vector<uint8_t> trailing = good;
  trailing.push_back(0xEE);
  struct Row {
    const char* what;
    std::vector<uint8_t> bytes;
    size_t taken;  // SIZE_MAX: refused
    const char* url;
    bool attach;
    uint8_t security;
  } rows[] = {
      {"written by SaveExtension", good, good.size(),
       "https://o0.ingest.example/api/1/minidump/?k=v", true, ssTls},
      {"bytes after it are not its own", trailing, good.size(),
       "https://o0.ingest.example/api/1/minidump/?k=v", true, ssTls},
      {"no extension (an older block)", {}, 0, "http://before", false, ssStartTls},
      {"no magic", {1, 2, 3, 4, 5, 6, 7, 8}, 0, "http://before", false, ssStartTls},
      {"an unknown record is skipped", unknownTag, unknownTag.size(), "http://before", false, 1},
      {"a flag of two bytes", longFlag, SIZE_MAX, "http://before", false, ssStartTls},
      {"a length past the bytes", pastEnd, SIZE_MAX, "http://before", false, ssStartTls},
      {"a record past the length", recordPastEnd, SIZE_MAX, "http://before", false, ssStartTls},
  };
  for (const Row& row : rows) {
    TVantorModuleOptions o("", false);
    o.SetUploadUrl("http://before");
    o.SetSmtpSecurity(ssStartTls);
    std::vector<uint8_t> stream = Save(o);
    if (row.taken == SIZE_MAX) {
      EXPECT_THROW(o.LoadExtension(row.bytes.data(), row.bytes.size()), EVantorOptionsStreamError)
          << row.what;
    } else {
      EXPECT_EQ(o.LoadExtension(row.bytes.data(), row.bytes.size()), row.taken) << row.what;
    }
    EXPECT_EQ(o.UploadUrl(), row.url) << row.what;
    EXPECT_EQ(o.AttachMinidump(), row.attach) << row.what;
    EXPECT_EQ(o.SmtpSecurity(), row.security) << row.what;
    EXPECT_EQ(Save(o), stream) << row.what << ": the older stream is the same";
  }
  // Every shortened extension is refused whole.
  for (size_t n = 5; n < good.size(); ++n) {
    TVantorModuleOptions o("", false);
    EXPECT_THROW(o.LoadExtension(good.data(), n), EVantorOptionsStreamError) << n;
    EXPECT_EQ(o.UploadUrl(), "") << n;
  }
  // Assign carries the extension's options, SetDefaults clears them.
  TVantorModuleOptions copy("", false);
  copy.Assign(&full);
  EXPECT_EQ(copy.UploadUrl(), full.UploadUrl());
  EXPECT_TRUE(copy.AttachMinidump());
  EXPECT_EQ(copy.SmtpSecurity(), ssTls);
  copy.SetDefaults();
  EXPECT_EQ(copy.UploadUrl(), "");
  EXPECT_FALSE(copy.AttachMinidump());
  EXPECT_EQ(copy.SmtpSecurity(), ssNone);
}
