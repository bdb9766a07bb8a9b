#include "runtime/command_line.h"

#include <gtest/gtest.h>

using namespace vl;

using Args = std::vector<std::string>;

TEST(SplitCommandLine, WhiteSpaceAndQuotes) {
  EXPECT_EQ(rtl::SplitCommandLine("prog.exe ordalin://call/1/"),
            (Args{"prog.exe", "ordalin://call/1/"}));
  EXPECT_EQ(rtl::SplitCommandLine("  prog.exe   a    b  "), (Args{"prog.exe", "a", "b"}));
  EXPECT_EQ(rtl::SplitCommandLine("prog\ta\t\tb"), (Args{"prog", "a", "b"}));
  // Every control character counts as white space.
  EXPECT_EQ(rtl::SplitCommandLine("prog\x01"
                                  "a\nb"),
            (Args{"prog", "a", "b"}));
  EXPECT_EQ(rtl::SplitCommandLine("\"C:\\Program Files\\x.exe\" \"a b\"c d"),
            (Args{"C:\\Program Files\\x.exe", "a bc", "d"}));
  EXPECT_EQ(rtl::SplitCommandLine("prog \"\" x"), (Args{"prog", "", "x"}));
  EXPECT_EQ(rtl::SplitCommandLine("prog a\"b c"), (Args{"prog", "ab c"}));
  EXPECT_EQ(rtl::SplitCommandLine(""), Args{});
  EXPECT_EQ(rtl::SplitCommandLine("   "), Args{});
}

TEST(SplitCommandLine, EightBitCharactersAreNotSeparators) {
  EXPECT_EQ(rtl::SplitCommandLine("p \xCC\xEC\xC2\xED x"), (Args{"p", "\xCC\xEC\xC2\xED", "x"}));
}
