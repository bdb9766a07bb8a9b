// Hand-made and damaged input: a version 5 line table with the forms GCC's own tables do not
// use, and real sample files cut short or with flipped bytes, which must give a clear error
// (EDebugFormatError) or a model, and nothing else.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "tools/debug_model.h"

using namespace vl;

using namespace vl::tools;

namespace {

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
}

std::vector<uint8_t> SampleBytes(const char* name) {
  std::vector<uint8_t> bytes = ReadFile(std::string(VL_SAMPLE_OUT) + "/" + name);
  EXPECT_GT(bytes.size(), 4096u) << name;
  return bytes;
}

struct Bytes {
  std::vector<uint8_t> Data;
  Bytes& U8(unsigned value) {
    Data.push_back(static_cast<uint8_t>(value));
    return *this;
  }
  Bytes& U16(unsigned value) { return U8(value & 0xff).U8(value >> 8); }
  Bytes& U32(uint32_t value) { return U16(value & 0xffff).U16(value >> 16); }
  Bytes& Str(const char* text) {
    Data.insert(Data.end(), text, text + std::strlen(text) + 1);
    return *this;
  }
  Bytes& Fill(size_t count, uint8_t value) {
    Data.insert(Data.end(), count, value);
    return *this;
  }
  ByteSpan Span() const { return ByteSpan{Data.data(), Data.size()}; }
};

// A version 5 line table: directories as inline strings, files with DW_FORM_line_strp paths,
// data1 directory indexes and data16 MD5 sums; file numbers count from 0.
Bytes Version5Table(Bytes& lineStr) {
  lineStr.Str("a.cpp").Str("b.h");  // offsets 0 and 6
  Bytes header;
  header.U8(1).U8(1).U8(1).U8(static_cast<uint8_t>(-5)).U8(14).U8(13);
  header.U8(0).U8(1).U8(1).U8(1).U8(1).U8(0).U8(0).U8(0).U8(1).U8(0).U8(0).U8(1);
  header.U8(1).U8(1).U8(0x08);                                // directories: path as string
  header.U8(2).Str("/src").Str("inc");                        // two directories
  header.U8(3).U8(1).U8(0x1f).U8(2).U8(0x0b).U8(5).U8(0x1e);  // path, directory, MD5
  header.U8(2);
  header.U32(0).U8(0).Fill(16, 0xaa);  // a.cpp in /src
  header.U32(6).U8(1).Fill(16, 0xbb);  // b.h in /src/inc
  Bytes program;
  program.U8(0).U8(5).U8(2).U32(0x401000);  // set address
  program.U8(4).U8(0);                      // file 0
  program.U8(3).U8(9).U8(1);                // line 10, row
  program.U8(76);                           // address +4, line +2, row
  program.U8(4).U8(1);                      // file 1
  program.U8(3).U8(0x79);                   // line -7
  program.U8(46);                           // address +2, row
  program.U8(2).U8(3);                      // address +3
  program.U8(0).U8(1).U8(1);                // end of sequence
  Bytes unit;
  unit.U16(5).U8(4).U8(0).U32(static_cast<uint32_t>(header.Data.size()));
  unit.Data.insert(unit.Data.end(), header.Data.begin(), header.Data.end());
  unit.Data.insert(unit.Data.end(), program.Data.begin(), program.Data.end());
  Bytes table;
  table.U32(static_cast<uint32_t>(unit.Data.size()));
  table.Data.insert(table.Data.end(), unit.Data.begin(), unit.Data.end());
  return table;
}

TEST(LineTable, Version5EntryFormats) {
  Bytes lineStr;
  Bytes table = Version5Table(lineStr);
  DwarfSections sections;
  sections.Line = table.Span();
  sections.LineStr = lineStr.Span();
  LineTable result = ReadLineTable(sections, 0, "/ignored", 4);
  EXPECT_EQ(result.Version, 5);
  ASSERT_EQ(result.Files.size(), 2u);
  EXPECT_EQ(result.Files[0], "/src/a.cpp");
  EXPECT_EQ(result.Files[1], "/src/inc/b.h");
  ASSERT_EQ(result.Rows.size(), 4u);
  EXPECT_EQ(result.Rows[0].Address, 0x401000u);
  EXPECT_EQ(result.Rows[0].File, 0u);
  EXPECT_EQ(result.Rows[0].Line, 10u);
  EXPECT_EQ(result.Rows[1].Address, 0x401004u);
  EXPECT_EQ(result.Rows[1].Line, 12u);
  EXPECT_EQ(result.Rows[2].Address, 0x401006u);
  EXPECT_EQ(result.Rows[2].File, 1u);
  EXPECT_EQ(result.Rows[2].Line, 5u);
  EXPECT_TRUE(result.Rows[3].EndSequence);
  EXPECT_EQ(result.Rows[3].Address, 0x401009u);

  // Every cut of the table is an error with the section's name, never a read past its end.
  for (size_t size = 0; size < table.Data.size(); ++size) {
    sections.Line = ByteSpan{table.Data.data(), size};
    EXPECT_THROW(ReadLineTable(sections, 0, "", 4), EDebugFormatError) << size;
  }
  // A path offset outside .debug_line_str.
  sections.Line = table.Span();
  sections.LineStr = ByteSpan{lineStr.Data.data(), 4};
  try {
    ReadLineTable(sections, 0, "", 4);
    ADD_FAILURE() << "no error";
  } catch (const EDebugFormatError& error) {
    EXPECT_NE(std::string(error.what()).find(".debug_line_str"), std::string::npos) << error.what();
  }
}

TEST(LineTable, RejectsBadHeaders) {
  Bytes lineStr;
  Bytes table = Version5Table(lineStr);
  DwarfSections sections;
  sections.LineStr = lineStr.Span();
  auto expectError = [&](size_t offset, uint8_t value, const char* text) {
    Bytes bad = table;
    bad.Data[offset] = value;
    sections.Line = bad.Span();
    try {
      ReadLineTable(sections, 0, "", 4);
      ADD_FAILURE() << "no error for " << text;
    } catch (const EDebugFormatError& error) {
      EXPECT_NE(std::string(error.what()).find(text), std::string::npos) << error.what();
    }
  };
  expectError(4, 9, "version 9");       // version
  expectError(6, 2, "address size 2");  // address size
  expectError(16, 0, "line range 0");   // line range
}

TEST(PeImage, RejectsWhatIsNoPe) {
  EXPECT_THROW(PeImage(std::vector<uint8_t>{}), EDebugFormatError);
  EXPECT_THROW(PeImage(std::vector<uint8_t>{'M', 'Z'}), EDebugFormatError);
  std::vector<uint8_t> bytes(256, 0);
  bytes[0] = 'M';
  bytes[1] = 'Z';
  bytes[0x3c] = 0xf0;  // PE header offset beyond the file's end
  bytes[0x3d] = 0xff;
  EXPECT_THROW(PeImage{bytes}, EDebugFormatError);
  EXPECT_THROW(PeImage::Load("/nonexistent/file.exe"), EDebugFormatError);
}

// The file offset of the section-table entry of Name.
size_t SectionHeaderOffset(const std::vector<uint8_t>& bytes, const PeImage& image,
                           const std::string& name) {
  uint32_t pe = bytes[0x3c] | bytes[0x3d] << 8 | bytes[0x3e] << 16 | uint32_t{bytes[0x3f]} << 24;
  uint16_t optionalSize = bytes[pe + 20] | bytes[pe + 21] << 8;
  size_t table = pe + 24 + optionalSize;
  for (size_t i = 0; i < image.Sections().size(); ++i) {
    if (image.Sections()[i].Name == name) return table + 40 * i;
  }
  ADD_FAILURE() << "no section " << name;
  return 0;
}

TEST(PeImage, LongNamesOutsideTheStringTable) {
  std::vector<uint8_t> bytes = SampleBytes("sample_i686_dwarf5.exe");
  size_t entry = SectionHeaderOffset(bytes, PeImage(bytes), ".debug_info");
  for (const char* name : {"/9999999", "/12a", "//!!!!"}) {
    std::vector<uint8_t> bad = bytes;
    std::memset(&bad[entry], 0, 8);
    std::memcpy(&bad[entry], name, std::strlen(name));
    EXPECT_THROW(PeImage{bad}, EDebugFormatError) << name;
  }
  // Raw data beyond the end of the file.
  std::vector<uint8_t> bad = bytes;
  bad[entry + 20 + 3] = 0x7f;
  EXPECT_THROW(PeImage{bad}, EDebugFormatError);
}

// Builds the model of damaged bytes; true when it succeeded, false for a clean rejection.
bool TryModel(std::vector<uint8_t> bytes) {
  try {
    PeImage image(std::move(bytes));
    BuildDebugModel(image);
    return true;
  } catch (const EDebugFormatError&) {
    return false;
  }
}

TEST(DamagedFiles, TruncationIsRejected) {
  for (const char* name : {"sample_i686_dwarf4.exe", "sample_x86_64_dwarf5.exe"}) {
    std::vector<uint8_t> bytes = SampleBytes(name);
    ASSERT_TRUE(TryModel(bytes));
    // Headers byte by byte, then the rest in steps: a cut inside the headers, the section data
    // or the string table is rejected.
    for (size_t size = 0; size < bytes.size(); size += size < 1024 ? 1 : 4093) {
      EXPECT_FALSE(TryModel(std::vector<uint8_t>(bytes.begin(), bytes.begin() + size)))
          << name << " cut at " << size;
    }
  }
}

TEST(DamagedFiles, FlippedDebugBytesGiveAModelOrAnError) {
  std::vector<uint8_t> bytes = SampleBytes("sample_i686_dwarf5.exe");
  PeImage image(bytes);
  uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return state >> 8;
  };
  int rejected = 0;
  for (const char* section : {".debug_info", ".debug_abbrev", ".debug_line", ".debug_rnglists"}) {
    const PeSection* found = image.Find(section);
    ASSERT_NE(found, nullptr) << section;
    for (int round = 0; round < 16; ++round) {
      std::vector<uint8_t> bad = bytes;
      for (int flips = 0; flips < 4; ++flips) {
        size_t offset = found->RawOffset + next() % found->VirtualSize;
        bad[offset] ^= static_cast<uint8_t>(1u << (next() % 8));
      }
      rejected += !TryModel(std::move(bad));
    }
  }
  // Most damage is noticed; what is not must still have been read within bounds (the
  // sanitizers watch this test).
  EXPECT_GT(rejected, 0);
}

}  // namespace
