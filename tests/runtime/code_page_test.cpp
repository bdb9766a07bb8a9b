// Real folders whose names carry a code-page-936 character with 0x5C as its second byte, as the
// system hands their paths back. CTest runs this a second time under LC_ALL=zh_CN.UTF-8, which
// gives the Wine process the ANSI code page 936; in any other code page the test is skipped.
#include <gtest/gtest.h>
#include <windows.h>

#include "runtime/file_names.h"

using namespace vl;

TEST(CodePage936, FolderNamesWhoseSecondByteIsABackslash) {
  if (GetACP() != 936) GTEST_SKIP() << "needs the ANSI code page 936";
  ASSERT_NE(rtl::AnsiLeadByte(), nullptr) << "the runtime installs the system's lead-byte test";
  char temp[MAX_PATH];
  ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
  const std::string name =
      "vl\x81\x5C"
      "dir";  // "vl", U+4E57, "dir"
  const std::string folder = std::string(temp) + name;
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
      << folder << ": " << GetLastError();
  const std::string file = folder + "\\probe.txt";
  HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << file << ": " << GetLastError();
  CloseHandle(h);

  char full[MAX_PATH];
  ASSERT_GT(GetFullPathNameA(file.c_str(), MAX_PATH, full, nullptr), 0u);
  EXPECT_EQ(rtl::ExtractFileName(full), "probe.txt");
  const std::string path = rtl::ExtractFilePath(full);
  EXPECT_EQ(rtl::ExtractFileName(path.substr(0, path.size() - 1)), name);
  const DWORD attributes = GetFileAttributesA(path.c_str());
  EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
      << path;
  EXPECT_TRUE(DeleteFileA(file.c_str()));
  EXPECT_TRUE(RemoveDirectoryA(folder.c_str()));
}
