// Export directories of images made in memory, sound and damaged.
#include "debuginfo/pe_exports.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace vl;

namespace vl {
namespace {

// A small 32-bit image: headers, code at 0x200..0x300, export directory at 0x400.
class ImageMaker {
 public:
  std::vector<uint8_t> bytes = std::vector<uint8_t>(0x800, 0);

  void Put32(size_t at, uint32_t v) { std::memcpy(&bytes[at], &v, 4); }
  void Put16(size_t at, uint16_t v) { std::memcpy(&bytes[at], &v, 2); }

  ImageMaker() {
    Put16(0, 0x5A4D);
    Put32(60, 0x80);
    Put32(0x80, 0x4550);
    Put16(0x80 + 20, 224);  // size of the optional header
    const size_t opt = 0x80 + 24;
    Put16(opt, 0x10B);
    Put32(opt + 4, 0x100);   // size of code
    Put32(opt + 20, 0x200);  // base of code
    Put32(opt + 56, 0x800);  // size of image
    Put32(opt + 92, 16);     // directory count
    Put32(opt + 96, 0x400);  // export directory
    Put32(opt + 100, 0x100);
    // Directory: 3 functions, 2 names; tables at 0x440 (functions), 0x460 (names), 0x470
    // (ordinals); names at 0x480.
    Put32(0x400 + 20, 3);
    Put32(0x400 + 24, 2);
    Put32(0x400 + 28, 0x440);
    Put32(0x400 + 32, 0x460);
    Put32(0x400 + 36, 0x470);
    Put32(0x440, 0x200);
    Put32(0x444, 0x210);
    Put32(0x448, 0x220);
    Put32(0x460, 0x480);
    Put32(0x464, 0x490);
    Put16(0x470, 2);
    Put16(0x472, 0);
    std::strcpy(reinterpret_cast<char*>(&bytes[0x480]), "Second");
    std::strcpy(reinterpret_cast<char*>(&bytes[0x490]), "First");
    // 0x200: push ebp; mov ebp,esp; mov eax,0xC3; pop ebp; ret
    const uint8_t framed[] = {0x55, 0x8B, 0xEC, 0xB8, 0xC3, 0, 0, 0, 0x5D, 0xC3};
    std::memcpy(&bytes[0x200], framed, sizeof framed);
    // 0x220: xor eax,eax; ret 4
    const uint8_t plain[] = {0x33, 0xC0, 0xC2, 0x04, 0x00};
    std::memcpy(&bytes[0x220], plain, sizeof plain);
  }
};

TEST(PeExports, ReadsNamesAddressesAndSizes) {
  ImageMaker m;
  TImageLayout layout;
  ASSERT_TRUE(ReadImageLayout(m.bytes.data(), m.bytes.size(), layout));
  EXPECT_EQ(layout.CodeStart, 0x200u);
  EXPECT_EQ(layout.CodeEnd, 0x300u);
  EXPECT_EQ(layout.ImageSize, 0x800u);
  auto entries = ReadExportEntries(m.bytes.data(), m.bytes.size(), layout);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].Name, "Second");
  EXPECT_EQ(entries[0].Rva, 0x220u);
  EXPECT_EQ(entries[1].Name, "First");
  EXPECT_EQ(entries[1].Rva, 0x200u);
  // The framed routine ends at its pop + ret, not at the 0xC3 inside the constant.
  EXPECT_EQ(MeasureRoutine(m.bytes.data(), m.bytes.size(), layout, 0x200), 9);
  EXPECT_EQ(MeasureRoutine(m.bytes.data(), m.bytes.size(), layout, 0x220), 2);
  // No return before the end of the code range, or outside it: 1.
  EXPECT_EQ(MeasureRoutine(m.bytes.data(), m.bytes.size(), layout, 0x230), 1);
  EXPECT_EQ(MeasureRoutine(m.bytes.data(), m.bytes.size(), layout, 0x480), 1);
}

TEST(PeExports, NamesStopAt256Characters) {
  ImageMaker m;
  std::memset(&m.bytes[0x490], 'N', 0x300);
  TImageLayout layout;
  ASSERT_TRUE(ReadImageLayout(m.bytes.data(), m.bytes.size(), layout));
  auto entries = ReadExportEntries(m.bytes.data(), m.bytes.size(), layout);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].Name.size(), 256u);
}

TEST(PeExports, DamagedDirectoriesGiveShorterLists) {
  {
    ImageMaker m;  // counts far beyond the image
    m.Put32(0x400 + 20, 0xFFFFFFFF);
    m.Put32(0x400 + 24, 0xFFFFFFFF);
    TImageLayout layout;
    ASSERT_TRUE(ReadImageLayout(m.bytes.data(), m.bytes.size(), layout));
    auto entries = ReadExportEntries(m.bytes.data(), m.bytes.size(), layout);
    EXPECT_LE(entries.size(), m.bytes.size() / 4);
  }
  {
    ImageMaker m;  // a name outside the image, an ordinal beyond the function count
    m.Put32(0x460, 0x7FFFFFF0);
    m.Put16(0x472, 3);
    TImageLayout layout;
    ASSERT_TRUE(ReadImageLayout(m.bytes.data(), m.bytes.size(), layout));
    EXPECT_TRUE(ReadExportEntries(m.bytes.data(), m.bytes.size(), layout).empty());
  }
  {
    ImageMaker m;  // export flags set
    m.Put32(0x400, 1);
    TImageLayout layout;
    ASSERT_TRUE(ReadImageLayout(m.bytes.data(), m.bytes.size(), layout));
    EXPECT_TRUE(ReadExportEntries(m.bytes.data(), m.bytes.size(), layout).empty());
  }
  {
    ImageMaker m;  // header offset far away, or the image cut inside the headers
    TImageLayout layout;
    EXPECT_FALSE(ReadImageLayout(m.bytes.data(), 0x90, layout));
    m.Put32(60, 0xFFFFFFF0);
    EXPECT_FALSE(ReadImageLayout(m.bytes.data(), m.bytes.size(), layout));
  }
  {
    ImageMaker m;  // code range beyond the image is clipped
    m.Put32(0x80 + 24 + 4, 0xFFFFFFFF);
    TImageLayout layout;
    ASSERT_TRUE(ReadImageLayout(m.bytes.data(), m.bytes.size(), layout));
    EXPECT_EQ(layout.CodeEnd, 0x800u);
    EXPECT_EQ(MeasureRoutine(m.bytes.data(), m.bytes.size(), layout, 0x7FF), 1);
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
    std::strcpy(reinterpret_cast<char*>(&m.bytes[0x4C0]), "KERNEL32.Sleep");
    TImageLayout layout;
    ASSERT_TRUE(ReadImageLayout(m.bytes.data(), m.bytes.size(), layout));
    auto entries = ReadExportEntries(m.bytes.data(), m.bytes.size(), layout);
    ASSERT_EQ(entries.size(), c.Listed ? 2u : 1u) << std::hex << c.Rva;
    EXPECT_EQ(entries.back().Name, "First");
  }
}

}  // namespace
}  // namespace vl
