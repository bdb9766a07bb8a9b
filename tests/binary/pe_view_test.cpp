// The PE header view over made-up images of both widths, as a file and as a mapped image, and
// over headers that are cut or damaged.
#include "binary/pe_view.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/pe_image.h"

using namespace vl;

namespace {

using binary::TImageForm;
using binary::TPeView;

constexpr size_t kPe = testsupport::TPeImage::kPe;
constexpr size_t kOptional = testsupport::TPeImage::kOptional;

// Headers of a DLL with two sections: .text (RVA 0x1000, file 0x400) and .data (RVA 0x2000,
// file 0x600), and an export directory at RVA 0x2010.
struct TImage : testsupport::TPeImage {
  explicit TImage(bool wide) : TPeImage(wide, 0x800, 0x3000) {
    Put16(kPe + 22, 0x2102);  // executable, 32-bit machine, DLL
    Code(0x1000, 0x200);
    Put32(kOptional + 16, 0x1010);  // entry point
    if (wide) {
      Put32(kOptional + 24, 0x80000000);
      Put32(kOptional + 28, 0x1);
    } else {
      Put32(kOptional + 28, 0x10000000);
    }
    Directory(0, 0x2010, 0x40);
    Section(0, ".text", 0x1000, 0x400, 0x60000020);
    Section(1, ".data", 0x2000, 0x600, 0xC0000040);
    Put32(0x600 + 0x10, 0xABCD1234);  // the first value of the export directory in the file
  }
  TPeView View(TImageForm form = TImageForm::ifFile) const {
    return TPeView(Bytes.data(), Bytes.size(), form);
  }
};

TEST(PeView, ReadsTheHeadersOfBothWidths) {
  for (bool wide : {false, true}) {
    TImage image(wide);
    TPeView view = image.View();
    ASSERT_TRUE(view.Ok()) << view.Failure();
    EXPECT_EQ(view.Is64(), wide);
    EXPECT_EQ(view.PointerSize(), wide ? 8u : 4u);
    EXPECT_EQ(view.Machine(), wide ? 0x8664 : 0x14C);
    EXPECT_TRUE(view.IsDll());
    EXPECT_EQ(view.ImageBase(), wide ? 0x180000000ull : 0x10000000ull);
    EXPECT_EQ(view.EntryPoint(), 0x1010u);
    EXPECT_EQ(view.BaseOfCode(), 0x1000u);
    EXPECT_EQ(view.SizeOfCode(), 0x200u);
    EXPECT_EQ(view.SizeOfImage(), 0x3000u);
    EXPECT_EQ(view.DirectoryCount(), 16u);
    EXPECT_EQ(view.Directory(binary::kExportDirectory).Rva, 0x2010u);
    EXPECT_EQ(view.Directory(binary::kExportDirectory).Size, 0x40u);
    EXPECT_FALSE(view.Directory(16).Present());
    ASSERT_EQ(view.SectionCount(), 2);
    binary::TPeSection section;
    ASSERT_TRUE(view.Section(1, section));
    EXPECT_EQ(std::string(section.RawName, 5), ".data");
    EXPECT_FALSE(section.IsCode());
    ASSERT_TRUE(view.Section(0, section));
    EXPECT_TRUE(section.IsCode());
    EXPECT_FALSE(view.Section(2, section));
  }
}

TEST(PeView, RvasOfAFileAndOfAMappedImage) {
  TImage image(false);
  TPeView file = image.View(TImageForm::ifFile);
  uint64_t offset = 0;
  // In the file an RVA goes through the section table; a range must lie in one section's data.
  struct Case {
    uint64_t Rva, Length;
    bool Found;
    uint64_t Offset;
  };
  for (const Case& c :
       {Case{0x1000, 4, true, 0x400}, Case{0x21FC, 4, true, 0x7FC}, Case{0x21FE, 4, false, 0},
        Case{0x0FFF, 1, false, 0}, Case{0x3000, 1, false, 0}, Case{~uint64_t{0}, 4, false, 0}}) {
    EXPECT_EQ(file.Locate(c.Rva, c.Length, offset), c.Found) << std::hex << c.Rva;
    if (c.Found) {
      EXPECT_EQ(offset, c.Offset) << std::hex << c.Rva;
    }
  }
  uint32_t value = 0;
  ASSERT_TRUE(file.U32At(0x2010, value));
  EXPECT_EQ(value, 0xABCD1234u);
  // Mapped, the RVA is the offset itself.
  TPeView mapped = image.View(TImageForm::ifMapped);
  ASSERT_TRUE(mapped.Locate(0x610, 4, offset));
  EXPECT_EQ(offset, 0x610u);
  EXPECT_FALSE(mapped.Locate(0x7FE, 4, offset));
}

TEST(PeView, RefusesDamagedHeaders) {
  struct Case {
    const char* Failure;
    void (*Damage)(TImage&);
  };
  const Case cases[] = {
      {"no MZ header", [](TImage& i) { i.Put16(0, 0x4D5A); }},
      {"no PE header", [](TImage& i) { i.Put32(0x3C, 0xFFFFFFFE); }},
      {"no PE header", [](TImage& i) { i.Put32(kPe, 0x4551); }},
      {"unknown optional header", [](TImage& i) { i.Put16(kOptional, 0x107); }},
      {"optional header too short", [](TImage& i) { i.Put16(kPe + 20, 95); }},
  };
  for (const Case& c : cases) {
    TImage image(false);
    c.Damage(image);
    TPeView view = image.View();
    EXPECT_FALSE(view.Ok()) << c.Failure;
    EXPECT_STREQ(view.Failure(), c.Failure);
    EXPECT_FALSE(view.Directory(0).Present());
    binary::TPeSection section;
    EXPECT_FALSE(view.Section(0, section));
  }
  // The directory count is cut to what the optional header has room for.
  TImage image(true);
  image.Put16(kPe + 20, 112 + 8 * 3);
  TPeView view = image.View();
  ASSERT_TRUE(view.Ok());
  EXPECT_EQ(view.DirectoryCount(), 3u);
}

TEST(PeView, EveryCutInsideTheHeadersIsRefusedCleanly) {
  for (bool wide : {false, true}) {
    TImage image(wide);
    const size_t headersEnd = image.CountOffset() + 4;
    for (size_t size = 0; size < headersEnd; ++size) {
      TPeView view(image.Bytes.data(), size, TImageForm::ifMapped);
      EXPECT_FALSE(view.Ok()) << size;
      EXPECT_STRNE(view.Failure(), "") << size;
    }
    // With the section table cut off, the headers read but the sections do not.
    const size_t table = kOptional + image.OptionalSize();
    TPeView view(image.Bytes.data(), table + 40 + 20, TImageForm::ifMapped);
    ASSERT_TRUE(view.Ok());
    binary::TPeSection section;
    EXPECT_TRUE(view.Section(0, section));
    EXPECT_FALSE(view.Section(1, section));
  }
}

}  // namespace
