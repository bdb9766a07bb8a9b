// Export directories of images made in memory, sound and damaged.
#include "debuginfo/pe_exports.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/pe_image.h"

using namespace vl;

namespace vl {
namespace {

// A small 32-bit image: headers, code at 0x200..0x300, export directory at 0x400.
struct ImageMaker : testsupport::TPeImage {
  ImageMaker() : TPeImage(false, 0x800, 0x800) {
    Code(0x200, 0x100);
    Exports(0x400, {0x200, 0x210, 0x220}, {{"Second", 2}, {"First", 0}});
    // 0x200: push ebp; mov ebp,esp; mov eax,0xC3; pop ebp; ret
    const uint8_t framed[] = {0x55, 0x8B, 0xEC, 0xB8, 0xC3, 0, 0, 0, 0x5D, 0xC3};
    std::memcpy(&Bytes[0x200], framed, sizeof framed);
    // 0x220: xor eax,eax; ret 4
    const uint8_t plain[] = {0x33, 0xC0, 0xC2, 0x04, 0x00};
    std::memcpy(&Bytes[0x220], plain, sizeof plain);
  }
};

TEST(PeExports, ReadsNamesAddressesAndSizes) {
  ImageMaker m;
  TImageLayout layout;
  ASSERT_TRUE(ReadImageLayout(m.Bytes.data(), m.Bytes.size(), layout));
  EXPECT_EQ(layout.CodeStart, 0x200u);
  EXPECT_EQ(layout.CodeEnd, 0x300u);
  EXPECT_EQ(layout.ImageSize, 0x800u);
  auto entries = ReadExportEntries(m.Bytes.data(), m.Bytes.size(), layout);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].Name, "Second");
  EXPECT_EQ(entries[0].Rva, 0x220u);
  EXPECT_EQ(entries[1].Name, "First");
  EXPECT_EQ(entries[1].Rva, 0x200u);
  // The framed routine ends at its pop + ret, not at the 0xC3 inside the constant.
  EXPECT_EQ(MeasureRoutine(m.Bytes.data(), m.Bytes.size(), layout, 0x200), 9);
  EXPECT_EQ(MeasureRoutine(m.Bytes.data(), m.Bytes.size(), layout, 0x220), 2);
  // No return before the end of the code range, or outside it: 1.
  EXPECT_EQ(MeasureRoutine(m.Bytes.data(), m.Bytes.size(), layout, 0x230), 1);
  EXPECT_EQ(MeasureRoutine(m.Bytes.data(), m.Bytes.size(), layout, 0x480), 1);
}

TEST(PeExports, NamesStopAt256Characters) {
  ImageMaker m;
  std::memset(&m.Bytes[0x490], 'N', 0x300);
  TImageLayout layout;
  ASSERT_TRUE(ReadImageLayout(m.Bytes.data(), m.Bytes.size(), layout));
  auto entries = ReadExportEntries(m.Bytes.data(), m.Bytes.size(), layout);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].Name.size(), 256u);
}

TEST(PeExports, DamagedDirectoriesGiveShorterLists) {
  {
    ImageMaker m;  // counts far beyond the image
    m.Put32(0x400 + 20, 0xFFFFFFFF);
    m.Put32(0x400 + 24, 0xFFFFFFFF);
    TImageLayout layout;
    ASSERT_TRUE(ReadImageLayout(m.Bytes.data(), m.Bytes.size(), layout));
    auto entries = ReadExportEntries(m.Bytes.data(), m.Bytes.size(), layout);
    EXPECT_LE(entries.size(), m.Bytes.size() / 4);
  }
  {
    ImageMaker m;  // a name outside the image, an ordinal beyond the function count
    m.Put32(0x460, 0x7FFFFFF0);
    m.Put16(0x472, 3);
    TImageLayout layout;
    ASSERT_TRUE(ReadImageLayout(m.Bytes.data(), m.Bytes.size(), layout));
    EXPECT_TRUE(ReadExportEntries(m.Bytes.data(), m.Bytes.size(), layout).empty());
  }
  {
    ImageMaker m;  // export flags set
    m.Put32(0x400, 1);
    TImageLayout layout;
    ASSERT_TRUE(ReadImageLayout(m.Bytes.data(), m.Bytes.size(), layout));
    EXPECT_TRUE(ReadExportEntries(m.Bytes.data(), m.Bytes.size(), layout).empty());
  }
  {
    ImageMaker m;  // header offset far away, or the image cut inside the headers
    TImageLayout layout;
    EXPECT_FALSE(ReadImageLayout(m.Bytes.data(), 0x90, layout));
    m.Put32(60, 0xFFFFFFF0);
    EXPECT_FALSE(ReadImageLayout(m.Bytes.data(), m.Bytes.size(), layout));
  }
  {
    ImageMaker m;  // code range beyond the image is clipped
    m.Put32(0x80 + 24 + 4, 0xFFFFFFFF);
    TImageLayout layout;
    ASSERT_TRUE(ReadImageLayout(m.Bytes.data(), m.Bytes.size(), layout));
    EXPECT_EQ(layout.CodeEnd, 0x800u);
    EXPECT_EQ(MeasureRoutine(m.Bytes.data(), m.Bytes.size(), layout, 0x7FF), 1);
  }
}

TEST(PeExports, ForwardersAreLeftOut) {
  // An address inside the export directory (0x400, 0x100 bytes) names a string such as
  // "KERNEL32.Sleep", not code: such an entry is no routine of this image.
  struct Case {
    uint32_t Rva;
    bool Listed;
  };
  for (const Case& c : {Case{0x3FF, true}, Case{0x400, false}, Case{0x4C0, false},
                        Case{0x4FF, false}, Case{0x500, true}}) {
    ImageMaker m;
    m.Put32(0x448, c.Rva);  // the routine named "Second"
    std::strcpy(reinterpret_cast<char*>(&m.Bytes[0x4C0]), "KERNEL32.Sleep");
    TImageLayout layout;
    ASSERT_TRUE(ReadImageLayout(m.Bytes.data(), m.Bytes.size(), layout));
    auto entries = ReadExportEntries(m.Bytes.data(), m.Bytes.size(), layout);
    ASSERT_EQ(entries.size(), c.Listed ? 2u : 1u) << std::hex << c.Rva;
    EXPECT_EQ(entries.back().Name, "First");
  }
}

}  // namespace
}  // namespace vl
