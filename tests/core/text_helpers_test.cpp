// HTML escaping and text replacement.
#include "core/text_helpers.h"

#include <gtest/gtest.h>

using namespace vl;

using core::HtmlEncode;
using core::ReplaceAllText;

TEST(HtmlEncode, LineBreaksAndSpacesOnly) {
  EXPECT_EQ(HtmlEncode("a b\r\nc"), "a&nbsp;b<br>c");
  EXPECT_EQ(HtmlEncode("<b>&\n\r"), "<b>&\n\r") << "nothing else changes";
  EXPECT_EQ(HtmlEncode("\r\n\r\n  "), "<br><br>&nbsp;&nbsp;");
}

TEST(ReplaceAllText, ScansFromTheLeftWithoutRescanning) {
  EXPECT_EQ(ReplaceAllText("aaa", "aa", "b"), "ba");
  EXPECT_EQ(ReplaceAllText("abc", "b", "bb"), "abbc") << "replaced text is not scanned again";
  EXPECT_EQ(ReplaceAllText("x-y-z", "-", ""), "xyz");
  EXPECT_EQ(ReplaceAllText("abc", "", "Q"), "abc") << "an empty pattern changes nothing";
  EXPECT_EQ(ReplaceAllText("", "a", "b"), "");
}

TEST(ReplaceAllText, NoMatchInsideADoubleByteCharacter) {
  // 0x81 is a lead byte in this made-up code page: "\x81\x5C" is one character whose second
  // byte happens to be a backslash.
  auto lead = [](unsigned char c) { return c == 0x81; };
  EXPECT_EQ(ReplaceAllText("\x81\\a\\", "\\", "/", lead), "\x81\\a/");
  EXPECT_EQ(ReplaceAllText("\x81\\a\\", "\\", "/"), "\x81/a/") << "byte-wise without the test";
  EXPECT_EQ(ReplaceAllText("a\x81", "\x81", "!", lead), "a!") << "a lead byte at the end";
}
