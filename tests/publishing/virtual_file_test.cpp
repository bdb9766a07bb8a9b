// Virtual files: named shared memory per process and module, seen by everyone who opens it.
#include "publishing/virtual_file.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace vl;

using publishing::CreateVirtualFile;
using publishing::DeleteVirtualFile;

TEST(VirtualFile, NameSizeSharingAndOpeningOnly) {
  HMODULE exe = GetModuleHandleA(nullptr);
  std::string name = publishing::VirtualFileName(exe, "MODULE");
  char expected[64];
  std::snprintf(expected, sizeof expected, "%08lX",
                static_cast<unsigned long>(GetCurrentProcessId()));
  EXPECT_EQ(name.substr(0, 8), expected);
  EXPECT_EQ(name.size(), 8 + sizeof(void*) * 2 + 6);
  EXPECT_EQ(name.substr(name.size() - 6), "MODULE");

  // Opening a block nobody created returns none and creates nothing.
  uint8_t* data = reinterpret_cast<uint8_t*>(1);
  EXPECT_EQ(CreateVirtualFile(exe, "NOBODY", 0, data), nullptr);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(
      OpenFileMappingA(FILE_MAP_READ, FALSE, publishing::VirtualFileName(exe, "NOBODY").c_str()),
      nullptr);

  HANDLE created = CreateVirtualFile(exe, "SHARED", 5, data);
  ASSERT_TRUE(created);
  EXPECT_EQ(publishing::VirtualFileDataSize(data), 5u);
  std::memcpy(data, "hello", 5);

  uint8_t* other = nullptr;
  HANDLE opened = CreateVirtualFile(exe, "SHARED", 0, other);
  ASSERT_TRUE(opened);
  EXPECT_EQ(publishing::VirtualFileDataSize(other), 5u) << "the stored size, not the one asked for";
  EXPECT_EQ(std::memcmp(other, "hello", 5), 0);

  DeleteVirtualFile(opened, other);
  EXPECT_EQ(opened, nullptr);
  EXPECT_EQ(other, nullptr);
  DeleteVirtualFile(opened, other);  // nothing to do

  // A block whose stored size claims more than exists is refused.
  uint32_t lie = 0x100000;
  std::memcpy(data - 4, &lie, 4);
  EXPECT_EQ(CreateVirtualFile(exe, "SHARED", 0, other), nullptr);
  DeleteVirtualFile(created, data);
  EXPECT_EQ(CreateVirtualFile(exe, "SHARED", 0, other), nullptr) << "gone with its last handle";
}
