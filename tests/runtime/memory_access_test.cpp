// The readability test against real page protections of this process.
#include "runtime/memory_access.h"

#include <gtest/gtest.h>
#include <windows.h>

using namespace vl;

namespace {

const size_t kPage = 4096;

// Two committed pages: the first read-write, the second with Protection.
struct TTwoPages {
  explicit TTwoPages(DWORD protection) {
    base = static_cast<char*>(VirtualAlloc(nullptr, 2 * kPage, MEM_COMMIT, PAGE_READWRITE));
    DWORD previous;
    ok = base && VirtualProtect(base + kPage, kPage, protection, &previous);
  }
  ~TTwoPages() { VirtualFree(base, 0, MEM_RELEASE); }
  char* base;
  bool ok;
};

TEST(MemoryAccess, ReadableProtections) {
  struct Case {
    DWORD Protection;
    bool Readable;
  };
  for (const Case& c :
       {Case{PAGE_READONLY, true}, Case{PAGE_READWRITE, true}, Case{PAGE_EXECUTE_READ, true},
        Case{PAGE_EXECUTE_READWRITE, true}, Case{PAGE_EXECUTE, false}, Case{PAGE_NOACCESS, false},
        Case{PAGE_READWRITE | PAGE_GUARD, false}, Case{PAGE_EXECUTE_READ | PAGE_GUARD, false}}) {
    TTwoPages pages(c.Protection);
    ASSERT_TRUE(pages.ok) << std::hex << c.Protection;
    // The second page alone, and the range that runs from the first into it.
    EXPECT_EQ(rtl::IsReadableRange(pages.base + kPage, 16), c.Readable) << std::hex << c.Protection;
    EXPECT_EQ(rtl::ReadableLength(pages.base + kPage - 8, 32), c.Readable ? 32u : 8u)
        << std::hex << c.Protection;
    EXPECT_EQ(rtl::IsReadableRange(pages.base, 2 * kPage), c.Readable);
  }
}

TEST(MemoryAccess, ReservedAndNullMemory) {
  char* reserved = static_cast<char*>(VirtualAlloc(nullptr, kPage, MEM_RESERVE, PAGE_READWRITE));
  ASSERT_NE(reserved, nullptr);
  EXPECT_EQ(rtl::ReadableLength(reserved, 16), 0u);
  VirtualFree(reserved, 0, MEM_RELEASE);
  EXPECT_EQ(rtl::ReadableLength(nullptr, 16), 0u);
  EXPECT_FALSE(rtl::IsReadableRange(&reserved, 0));  // an empty range is no readable range
}

TEST(MemoryAccess, LoadedImageViewOfThisProgram) {
  binary::TPeView view = rtl::LoadedImageView(GetModuleHandleA(nullptr));
  ASSERT_TRUE(view.Ok()) << view.Failure();
  EXPECT_EQ(view.Is64(), sizeof(void*) == 8);
  EXPECT_FALSE(view.IsDll());
  EXPECT_EQ(view.Bytes().Size, view.SizeOfImage());
  // Memory that holds no image.
  int local = 0;
  EXPECT_FALSE(rtl::LoadedImageView(&local).Ok());
}

}  // namespace
