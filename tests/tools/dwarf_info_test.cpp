// Hand-made .debug_info units for what the sample programs do not produce on PE: functions
// with several code ranges (version 5 range lists by index, version 4 .debug_ranges with a
// base-address entry), out-of-line definitions named through their in-class declaration, and
// references that lead nowhere.
#include <gtest/gtest.h>

#include <cstring>

#include "tools/dwarf.h"

using namespace vl;

using namespace vl::tools;

namespace {

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
  Bytes& Append(const Bytes& other) {
    Data.insert(Data.end(), other.Data.begin(), other.Data.end());
    return *this;
  }
  size_t Size() const { return Data.size(); }
  ByteSpan Span() const { return ByteSpan{Data.data(), Data.size()}; }
};

enum : unsigned {
  kUnit5 = 1,
  kNamespace,
  kClass,
  kDeclaration,
  kDefinitionRanges,
  kDefinitionLowHigh,
  kFreeStrp,
  kUnit4,
  kFunctionRanges4,
  kDefinitionBadRef,
};

Bytes Abbreviations() {
  Bytes a;
  auto entry = [&](unsigned code, unsigned tag, bool children,
                   std::initializer_list<std::pair<unsigned, unsigned>> attributes) {
    a.U8(code).U8(tag).U8(children);
    for (auto [attribute, form] : attributes) a.U8(attribute).U8(form);
    a.U8(0).U8(0);
  };
  entry(kUnit5, 0x11, true, {{0x03, 0x08}, {0x1b, 0x08}, {0x11, 0x01}, {0x74, 0x17}});
  entry(kNamespace, 0x39, true, {{0x03, 0x08}});
  entry(kClass, 0x02, true, {{0x03, 0x08}});
  entry(kDeclaration, 0x2e, false, {{0x03, 0x08}, {0x3c, 0x19}});
  entry(kDefinitionRanges, 0x2e, false, {{0x47, 0x13}, {0x55, 0x23}});
  entry(kDefinitionLowHigh, 0x2e, false, {{0x47, 0x13}, {0x11, 0x01}, {0x12, 0x06}});
  entry(kFreeStrp, 0x2e, false, {{0x03, 0x0e}, {0x11, 0x01}, {0x12, 0x01}});
  entry(kUnit4, 0x11, true, {{0x03, 0x08}, {0x11, 0x01}});
  entry(kFunctionRanges4, 0x2e, false, {{0x03, 0x08}, {0x55, 0x17}});
  entry(kDefinitionBadRef, 0x2e, false, {{0x31, 0x13}, {0x11, 0x01}, {0x12, 0x06}});
  a.U8(0);
  return a;
}

struct Sample {
  Bytes Info, Abbrev, Str, RngLists, Ranges;
  DwarfSections Sections() const {
    DwarfSections sections;
    sections.Info = Info.Span();
    sections.Abbrev = Abbrev.Span();
    sections.Str = Str.Span();
    sections.RngLists = RngLists.Span();
    sections.Ranges = Ranges.Span();
    return sections;
  }
};

Sample MakeSample() {
  Sample s;
  s.Abbrev = Abbreviations();
  s.Str.Str("unused").Str("Helper");  // "Helper" at offset 7

  // .debug_rnglists: header, one offset, one list.
  Bytes lists;
  lists.U16(5).U8(4).U8(0).U32(1);  // version, address size, selector size, offset count
  lists.U32(4);                     // list 0, relative to the base (after the header, 12)
  lists.U8(5).U32(0x401000);        // base address
  lists.U8(4).U8(0x20).U8(0x30);    // offset pair
  lists.U8(7).U32(0x401300).U8(8);  // start and length
  lists.U8(0);
  s.RngLists.U32(static_cast<uint32_t>(lists.Size())).Append(lists);

  // Version 5 unit; body offsets count from the unit's start, 12 bytes of header first.
  Bytes body;
  auto offset = [&] { return static_cast<uint32_t>(12 + body.Size()); };
  body.U8(kUnit5).Str("x.cpp").Str("/w").U32(0x401000).U32(12);
  body.U8(kNamespace).Str("Forms");
  body.U8(kClass).Str("TApplication");
  uint32_t run = offset();
  body.U8(kDeclaration).Str("Run");
  uint32_t stop = offset();
  body.U8(kDeclaration).Str("Stop");
  body.U8(0).U8(0);  // end of class, end of namespace
  body.U8(kDefinitionRanges).U32(run).U8(0);
  body.U8(kDefinitionLowHigh).U32(stop).U32(0x401100).U32(0x10);
  body.U8(kFreeStrp).U32(7).U32(0x401200).U32(0x401210);
  body.U8(kDefinitionBadRef).U32(0x7fff).U32(0x401400).U32(4);
  body.U8(0);
  s.Info.U32(static_cast<uint32_t>(8 + body.Size())).U16(5).U8(1).U8(4).U32(0).Append(body);

  // Version 4 unit with a .debug_ranges list that changes its base address.
  s.Ranges.U32(0x10).U32(0x20).U32(0xffffffff).U32(0x600000).U32(0).U32(8).U32(0).U32(0);
  Bytes body4;
  body4.U8(kUnit4).Str("y.cpp").U32(0x500000);
  body4.U8(kFunctionRanges4).Str("Old").U32(0);
  body4.U8(0);
  s.Info.U32(static_cast<uint32_t>(7 + body4.Size())).U16(4).U32(0).U8(4).Append(body4);
  return s;
}

TEST(DwarfInfo, NamesAndRanges) {
  Sample sample = MakeSample();
  DwarfInfo info = ReadDwarfInfo(sample.Sections());
  ASSERT_EQ(info.Units.size(), 2u);
  EXPECT_EQ(info.Units[0].Name, "x.cpp");
  EXPECT_EQ(info.Units[0].CompDir, "/w");
  EXPECT_EQ(info.Units[0].Version, 5);
  EXPECT_EQ(info.Units[1].Version, 4);
  ASSERT_EQ(info.Functions.size(), 5u);

  const DwarfFunction& run = info.Functions[0];
  EXPECT_EQ(run.Name, "Run");
  EXPECT_EQ(run.Scopes, (std::vector<std::string>{"Forms", "TApplication"}));
  ASSERT_EQ(run.Ranges.size(), 2u);
  EXPECT_EQ(run.Ranges[0].Begin, 0x401020u);
  EXPECT_EQ(run.Ranges[0].End, 0x401030u);
  EXPECT_EQ(run.Ranges[1].Begin, 0x401300u);
  EXPECT_EQ(run.Ranges[1].End, 0x401308u);

  const DwarfFunction& stop = info.Functions[1];
  EXPECT_EQ(stop.Name, "Stop");
  EXPECT_EQ(stop.Scopes, run.Scopes);
  ASSERT_EQ(stop.Ranges.size(), 1u);
  EXPECT_EQ(stop.Ranges[0].End, 0x401110u);  // high_pc as an offset

  const DwarfFunction& helper = info.Functions[2];
  EXPECT_EQ(helper.Name, "Helper");  // through .debug_str
  EXPECT_TRUE(helper.Scopes.empty());
  EXPECT_EQ(helper.Ranges[0].End, 0x401210u);  // high_pc as an address

  // An origin that leads nowhere leaves the function without a name, not an error.
  EXPECT_EQ(info.Functions[3].Name, "");

  const DwarfFunction& old = info.Functions[4];
  EXPECT_EQ(old.Name, "Old");
  ASSERT_EQ(old.Ranges.size(), 2u);
  EXPECT_EQ(old.Ranges[0].Begin, 0x500010u);
  EXPECT_EQ(old.Ranges[0].End, 0x500020u);
  EXPECT_EQ(old.Ranges[1].Begin, 0x600000u);
  EXPECT_EQ(old.Ranges[1].End, 0x600008u);
}

// Strings and addresses by index, as split-DWARF-style producers write them: the unit entry's
// own name is resolved only once the unit's bases are known.
TEST(DwarfInfo, IndexedStringsAndAddresses) {
  Bytes abbrev;
  abbrev.U8(1).U8(0x11).U8(1);  // unit: name strx1, string and address bases
  abbrev.U8(0x03).U8(0x25).U8(0x72).U8(0x17).U8(0x73).U8(0x17).U8(0).U8(0);
  abbrev.U8(2).U8(0x2e).U8(0);  // subprogram: name strx1, low_pc addrx1, high_pc data4
  abbrev.U8(0x03).U8(0x25).U8(0x11).U8(0x29).U8(0x12).U8(0x06).U8(0).U8(0);
  abbrev.U8(0);
  Bytes str;
  str.Str("z.cpp").Str("Indexed");  // offsets 0 and 6
  Bytes offsets;
  offsets.U32(12).U16(5).U16(0).U32(0).U32(6);  // header, then two offsets
  Bytes addresses;
  addresses.U32(12).U16(5).U8(4).U8(0).U32(0x401000).U32(0x402000);
  Bytes body;
  body.U8(1).U8(0).U32(8).U32(8);  // name index 0, bases after the headers
  body.U8(2).U8(1).U8(1).U32(0x40);
  body.U8(0);
  Bytes info;
  info.U32(static_cast<uint32_t>(8 + body.Size())).U16(5).U8(1).U8(4).U32(0).Append(body);

  DwarfSections sections;
  sections.Info = info.Span();
  sections.Abbrev = abbrev.Span();
  sections.Str = str.Span();
  sections.StrOffsets = offsets.Span();
  sections.Addr = addresses.Span();
  DwarfInfo result = ReadDwarfInfo(sections);
  ASSERT_EQ(result.Units.size(), 1u);
  EXPECT_EQ(result.Units[0].Name, "z.cpp");
  ASSERT_EQ(result.Functions.size(), 1u);
  EXPECT_EQ(result.Functions[0].Name, "Indexed");
  ASSERT_EQ(result.Functions[0].Ranges.size(), 1u);
  EXPECT_EQ(result.Functions[0].Ranges[0].Begin, 0x402000u);
  EXPECT_EQ(result.Functions[0].Ranges[0].End, 0x402040u);

  // An index past the end of .debug_addr is an error.
  sections.Addr = ByteSpan{addresses.Data.data(), 14};
  EXPECT_THROW(ReadDwarfInfo(sections), EDebugFormatError);
}

TEST(DwarfInfo, MalformedUnitsAreRejected) {
  Sample sample = MakeSample();
  // Every cut of every section is rejected, never read past.
  for (Bytes* section : {&sample.Info, &sample.Abbrev, &sample.RngLists, &sample.Ranges}) {
    Bytes whole = *section;
    for (size_t size = 0; size < whole.Size(); ++size) {
      section->Data.assign(whole.Data.begin(), whole.Data.begin() + size);
      // No unit at all, or the first unit alone, is valid.
      uint32_t firstUnit = whole.Data[0] + 4u;
      if (section == &sample.Info && (size == 0 || size == firstUnit)) continue;
      EXPECT_THROW(ReadDwarfInfo(sample.Sections()), EDebugFormatError) << size;
    }
    *section = whole;
  }
  struct Patch {
    size_t Offset;
    uint8_t Value;
    const char* Message;
  };
  for (const Patch& patch :
       {Patch{4, 7, "unit version 7"}, Patch{7, 3, "address size 3"},
        Patch{6, 9, "unknown unit type 9"}, Patch{12, 0x55, "unknown abbreviation code 85"}}) {
    Sample bad = MakeSample();
    bad.Info.Data[patch.Offset] = patch.Value;
    try {
      ReadDwarfInfo(bad.Sections());
      ADD_FAILURE() << "no error for " << patch.Message;
    } catch (const EDebugFormatError& error) {
      EXPECT_NE(std::string(error.what()).find(patch.Message), std::string::npos) << error.what();
    }
  }
  // An unknown form cannot be skipped.
  Sample bad = MakeSample();
  bad.Abbrev.Data[4] = 0x7e;  // the unit entry's first form
  EXPECT_THROW(ReadDwarfInfo(bad.Sections()), EDebugFormatError);
}

}  // namespace
