// Import-address-table slots of module images laid out as the loader maps them, and damaged
// headers.
#include "hooking/pe_imports.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "hooking/hook_errors.h"

using namespace vl;

using hooking::FindImportSlots;

namespace {

// A mapped image with an import directory of two modules (2 and 1 slots) and, optionally, a
// delay-load directory of one module (1 slot).
class TImageBuilder {
 public:
  explicit TImageBuilder(unsigned pointerSize) : ps_(pointerSize), image_(0x2000, 0) {
    Put16(0, 0x5A4D);
    Put32(0x3C, 0x80);
    Put32(0x80, 0x00004550);
    Put16(0x80 + 20, ps_ == 4 ? 224 : 240);  // SizeOfOptionalHeader
    Put16(kOpt, ps_ == 4 ? 0x10B : 0x20B);
    Put32(kOpt + 56, static_cast<uint32_t>(image_.size()));
    Put32(kOpt + CountOffset(), 16);
    SetDirectory(1, 0x1000);
    // Descriptors at 0x1000: module A with its table at 0x1100, module B at 0x1200, terminator.
    Put32(0x1000 + 12, 0x1800);
    Put32(0x1000 + 16, 0x1100);
    Put32(0x1014 + 12, 0x1810);
    Put32(0x1014 + 16, 0x1200);
    PutSlot(0x1100, 0x11111111);
    PutSlot(0x1100 + ps_, 0x22222222);
    PutSlot(0x1200, 0x33333333);
  }
  unsigned CountOffset() const { return ps_ == 4 ? 92 : 108; }
  void SetDirectory(unsigned index, uint32_t rva) {
    Put32(kOpt + CountOffset() + 4 + 8 * index, rva);
  }
  void AddDelayLoad() {
    SetDirectory(13, 0x1300);
    Put32(0x1300, 1);  // offsets, not addresses
    Put32(0x1300 + 4, 0x1820);
    Put32(0x1300 + 12, 0x1400);
    PutSlot(0x1400, 0x44444444);
  }
  void Put16(size_t at, uint16_t v) { std::memcpy(&image_[at], &v, 2); }
  void Put32(size_t at, uint32_t v) { std::memcpy(&image_[at], &v, 4); }
  void PutSlot(size_t at, uint32_t v) { std::memcpy(&image_[at], &v, 4); }
  std::vector<uint8_t>& Image() { return image_; }

  static constexpr size_t kOpt = 0x80 + 24;

 private:
  unsigned ps_;
  std::vector<uint8_t> image_;
};

}  // namespace

TEST(FindImportSlots, ImportAndDelayLoadTablesOfBothFormats) {
  for (unsigned ps : {4u, 8u}) {
    TImageBuilder b(ps);
    auto slots = FindImportSlots(b.Image().data(), b.Image().size());
    ASSERT_TRUE(slots.Ok) << slots.Reason;
    EXPECT_EQ(slots.PointerSize, ps);
    EXPECT_EQ(slots.SlotOffsets, (std::vector<uint32_t>{0x1100, 0x1100 + ps, 0x1200}));
    b.AddDelayLoad();
    slots = FindImportSlots(b.Image().data(), b.Image().size());
    ASSERT_TRUE(slots.Ok) << slots.Reason;
    EXPECT_EQ(slots.SlotOffsets, (std::vector<uint32_t>{0x1100, 0x1100 + ps, 0x1200, 0x1400}));
    EXPECT_EQ(hooking::DeclaredImageSize(b.Image().data(), 0x400), 0x2000u);
  }
}

TEST(FindImportSlots, DamagedImagesGiveAnErrorNotAWildRead) {
  {
    TImageBuilder b(4);
    b.Image()[0] = 'X';
    EXPECT_EQ(FindImportSlots(b.Image().data(), b.Image().size()).Reason, "no MZ header");
  }
  {
    TImageBuilder b(4);
    b.Put32(0x3C, 0x7FFFFFF0);
    EXPECT_EQ(FindImportSlots(b.Image().data(), b.Image().size()).Reason, "no PE header");
  }
  {
    TImageBuilder b(8);
    b.SetDirectory(1, 0xFFFFFFF0);
    EXPECT_FALSE(FindImportSlots(b.Image().data(), b.Image().size()).Ok);
  }
  {
    // A table without its closing zero runs to the end of the image.
    TImageBuilder b(4);
    b.Put32(0x1014 + 16, 0x1FFC);
    b.PutSlot(0x1FFC, 0x55555555);
    EXPECT_EQ(FindImportSlots(b.Image().data(), b.Image().size()).Reason,
              "import address table runs out of the image");
  }
  {
    // Directory count larger than the optional header holds is cut to what it holds.
    TImageBuilder b(4);
    b.Put32(TImageBuilder::kOpt + b.CountOffset(), 0xFFFFFFFF);
    EXPECT_TRUE(FindImportSlots(b.Image().data(), b.Image().size()).Ok);
  }
  {
    TImageBuilder b(4);
    EXPECT_FALSE(FindImportSlots(b.Image().data(), 0x40).Ok);
    EXPECT_FALSE(FindImportSlots(b.Image().data(), 0).Ok);
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
