// Folder and file name in a double-byte code page: the second byte of a character of code page
// 936 may be 0x5C, the code of "\", and must not split the name there.
#include "runtime/file_names.h"

#include <gtest/gtest.h>

using namespace vl;

namespace {

// Code page 936's lead bytes.
bool Gbk(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

// "\x81\x5C" is one character of code page 936 whose second byte is "\".
TEST(FileNames, SecondBytesAreNeverDelimiters) {
  struct Case {
    const char* name;
    const char* path;
    const char* file;
  } cases[] = {
      {"C:\\\x81\x5C\\a.exe", "C:\\\x81\x5C\\", "a.exe"},
      {"C:\\dir\\\x81\x5C.exe", "C:\\dir\\", "\x81\x5C.exe"},
      {"\x81\x5C\x81\x5C", "", "\x81\x5C\x81\x5C"},
      {"C:\x81\x3A", "C:", "\x81\x3A"},    // nor a ":" that ends a character
      {"C:\\a\\\x81", "C:\\a\\", "\x81"},  // a lone lead byte at the end
      {"C:", "C:", ""},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(rtl::ExtractFilePath(c.name, Gbk), c.path) << c.name;
    EXPECT_EQ(rtl::ExtractFileName(c.name, Gbk), c.file) << c.name;
  }
  // Read as single bytes the same name splits at the second byte.
  EXPECT_EQ(rtl::ExtractFileName("C:\\\x81\x5C.exe", nullptr), ".exe");
  EXPECT_EQ(rtl::FileExtStart("C:\\a.b\\\x81\x5C", Gbk), std::string::npos);
  EXPECT_EQ(rtl::FileExtStart("C:\\\x81\x5C.log", Gbk), 5u);
}

}  // namespace
