// The launcher's string work: the link parameter, the argument split, the session line and the
// protocol command.
#include <gtest/gtest.h>

#include "launcher/launch_values.h"
#include "launcher/link_parameter.h"

using namespace vl;

using namespace ordalin;

TEST(LinkParameter, SchemeAndSlashesGo) {
  EXPECT_EQ(LinkParameterFromArgument("ordalin://call/12345/"), "call12345");
  EXPECT_EQ(LinkParameterFromArgument("ordalin://"), "");
  EXPECT_EQ(LinkParameterFromArgument(""), "");
  // Other case: the prefix stays, only the slashes go.
  EXPECT_EQ(LinkParameterFromArgument("ORDALIN://call/1"), "ORDALIN:call1");
  // Nothing is decoded or checked: no scheme at the start, escapes and other text stay.
  EXPECT_EQ(LinkParameterFromArgument("call/%20x?a=b&c"), "call%20x?a=b&c");
  EXPECT_EQ(LinkParameterFromArgument("x ordalin://y"), "x y");
}

TEST(LinkParameter, EveryOccurrenceLeftToRightWithoutOverlap) {
  EXPECT_EQ(LinkParameterFromArgument("ordalin://ordalin://a"), "a");
  // Removing the first occurrence does not form a new one that is removed again.
  EXPECT_EQ(LinkParameterFromArgument("ordalordalin://in://a"), "ordalin:a");
  EXPECT_EQ(RemoveAll("aaaa", "aa"), "");
  EXPECT_EQ(RemoveAll("aaa", "aa"), "a");
  EXPECT_EQ(RemoveAll("abc", ""), "abc");
  EXPECT_EQ(RemoveAll("///", "/"), "");
}

TEST(LinkParameter, EightBitBytesPassUnchanged) {
  const std::string gbk = "\xb5\xe7\xbb\xb0/\x2f\xc4\xe3";
  EXPECT_EQ(LinkParameterFromArgument("ordalin://" + gbk), "\xb5\xe7\xbb\xb0\xc4\xe3");
}

TEST(ProgramArguments, FirstIsTheLinkFurtherOnesFollow) {
  EXPECT_TRUE(ProgramArguments("\"C:\\Program Files\\X\\ordalin.exe\"").empty());
  EXPECT_TRUE(ProgramArguments("ordalin.exe   ").empty());
  auto args = ProgramArguments("\"C:\\A B\\ordalin.exe\" \"ordalin://call/1 2\" second third");
  ASSERT_EQ(args.size(), 3u);
  EXPECT_EQ(args[0], "ordalin://call/1 2");
  EXPECT_EQ(args[1], "second");
  // An argument of quotes only is an argument, and an empty one.
  args = ProgramArguments("ordalin.exe \"\"");
  ASSERT_EQ(args.size(), 1u);
  EXPECT_EQ(args[0], "");
}

TEST(LaunchValues, FolderSessionLineAndCommand) {
  EXPECT_EQ(ExtractFilePath("C:\\Apps\\ordalin.exe"), "C:\\Apps\\");
  EXPECT_EQ(ExtractFilePath("C:ordalin.exe"), "C:");
  EXPECT_EQ(ExtractFilePath("ordalin.exe"), "");
  EXPECT_EQ(SessionFileText("C:\\Apps\\"), "C:\\Apps\\tessaly.exe {sessionId}\r\n");
  EXPECT_EQ(ProtocolCommand("C:\\Program Files\\X\\app.exe"),
            "\"C:\\Program Files\\X\\app.exe\" %1");
  EXPECT_STREQ(kApplicationTitle, "Telmarin");
}
