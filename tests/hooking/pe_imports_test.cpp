// Import-address-table slots of module images laid out as the loader maps them, and damaged
// headers.
#include "hooking/pe_imports.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "hooking/hook_errors.h"
#include "support/pe_image.h"

using namespace vl;

using hooking::FindImportSlots;

namespace {

// A mapped image with an import directory of two modules (2 and 1 slots) and, optionally, a
// delay-load directory of one module (1 slot).
struct TImageBuilder : testsupport::TPeImage {
  explicit TImageBuilder(unsigned pointerSize) : TPeImage(pointerSize == 8, 0x2000, 0x2000) {
    Directory(1, 0x1000, 0);
    // Descriptors at 0x1000: module A with its table at 0x1100, module B at 0x1200, terminator.
    Put32(0x1000 + 12, 0x1800);
    Put32(0x1000 + 16, 0x1100);
    Put32(0x1014 + 12, 0x1810);
    Put32(0x1014 + 16, 0x1200);
    Put32(0x1100, 0x11111111);
    Put32(0x1100 + pointerSize, 0x22222222);
    Put32(0x1200, 0x33333333);
  }
  void AddDelayLoad() {
    Directory(13, 0x1300, 0);
    Put32(0x1300, 1);  // offsets, not addresses
    Put32(0x1300 + 4, 0x1820);
    Put32(0x1300 + 12, 0x1400);
    Put32(0x1400, 0x44444444);
  }
};

}  // namespace

TEST(FindImportSlots, ImportAndDelayLoadTablesOfBothFormats) {
  for (unsigned ps : {4u, 8u}) {
    TImageBuilder b(ps);
    auto slots = FindImportSlots(b.Bytes.data(), b.Bytes.size());
    ASSERT_TRUE(slots.Ok) << slots.Reason;
    EXPECT_EQ(slots.PointerSize, ps);
    EXPECT_EQ(slots.SlotOffsets, (std::vector<uint32_t>{0x1100, 0x1100 + ps, 0x1200}));
    b.AddDelayLoad();
    slots = FindImportSlots(b.Bytes.data(), b.Bytes.size());
    ASSERT_TRUE(slots.Ok) << slots.Reason;
    EXPECT_EQ(slots.SlotOffsets, (std::vector<uint32_t>{0x1100, 0x1100 + ps, 0x1200, 0x1400}));
    EXPECT_EQ(hooking::DeclaredImageSize(b.Bytes.data(), 0x400), 0x2000u);
  }
}

TEST(FindImportSlots, DamagedImagesGiveAnErrorNotAWildRead) {
  {
    TImageBuilder b(4);
    b.Bytes[0] = 'X';
    EXPECT_EQ(FindImportSlots(b.Bytes.data(), b.Bytes.size()).Reason, "no MZ header");
  }
  {
    TImageBuilder b(4);
    b.Put32(0x3C, 0x7FFFFFF0);
    EXPECT_EQ(FindImportSlots(b.Bytes.data(), b.Bytes.size()).Reason, "no PE header");
  }
  {
    TImageBuilder b(8);
    b.Directory(1, 0xFFFFFFF0, 0);
    EXPECT_FALSE(FindImportSlots(b.Bytes.data(), b.Bytes.size()).Ok);
  }
  {
    // A table without its closing zero runs to the end of the image.
    TImageBuilder b(4);
    b.Put32(0x1014 + 16, 0x1FFC);
    b.Put32(0x1FFC, 0x55555555);
    EXPECT_EQ(FindImportSlots(b.Bytes.data(), b.Bytes.size()).Reason,
              "import address table runs out of the image");
  }
  {
    // Directory count larger than the optional header holds is cut to what it holds.
    TImageBuilder b(4);
    b.Put32(b.CountOffset(), 0xFFFFFFFF);
    EXPECT_TRUE(FindImportSlots(b.Bytes.data(), b.Bytes.size()).Ok);
  }
  {
    TImageBuilder b(4);
    EXPECT_FALSE(FindImportSlots(b.Bytes.data(), 0x40).Ok);
    EXPECT_FALSE(FindImportSlots(b.Bytes.data(), 0).Ok);
  }
}

TEST(HookErrors, MessagesAndAncestry) {
  EXPECT_STREQ(EProcNull("kernel32.dll.RaiseException").what(),
               "Cannot hook a null procedure (\"kernel32.dll.RaiseException\").");
  EXPECT_STREQ(EHookingError("Forms.TApplication.HandleException").what(),
               "Cannot hook the procedure \"Forms.TApplication.HandleException\".");
  EXPECT_STREQ(ESharedArea("C:\\WINDOWS\\SYSTEM\\KERNEL32.DLL").what(),
               "Cannot hook the module \"C:\\WINDOWS\\SYSTEM\\KERNEL32.DLL\" located into the "
               "shared-area.");
  try {
    throw EHookingError("x");
  } catch (const EHookError& e) {
    EXPECT_NE(dynamic_cast<const Exception*>(&e), nullptr);
  }
}
