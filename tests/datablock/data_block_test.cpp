// The data block's byte format: writer and reader agree on both forms, and no damaged block
// gets further than "no block" with a reason.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datablock/data_block_reader.h"
#include "datablock/data_block_writer.h"
#include "datablock/data_version.h"
#include "datablock/fake_options.h"
#include "zlibwrap/compress.h"
#include "zlibwrap/zlib_memory.h"

using namespace vl;

using namespace datablock;
using testsupport::FakeOptions;
using testsupport::FakeOptionsReader;

namespace {

TBytes Text(const std::string& s) { return TBytes(s.begin(), s.end()); }

struct Loaded {
  TBlockResult result;
  std::string options;
  uint16_t optionsVersion = 0;
};

Loaded FromResource(const TBytes& bytes, size_t limit = kMaxPayloadSize) {
  Loaded out;
  out.result = ReadResourceBlock(bytes.data(), bytes.size(),
                                 FakeOptionsReader{&out.options, &out.optionsVersion}, limit);
  return out;
}

Loaded FromFile(const TBytes& file, size_t limit = kMaxPayloadSize) {
  Loaded out;
  TMemoryBlockSource source(file.data(), file.size());
  out.result =
      ReadTrailerBlock(source, FakeOptionsReader{&out.options, &out.optionsVersion}, limit);
  return out;
}

TBytes ModuleFile(const TBytes& trailer) {
  TBytes file = Text("MZ pretend module image bytes");
  file.insert(file.end(), trailer.begin(), trailer.end());
  return file;
}

void PutInt32At(TBytes& b, size_t at, int32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
}

}  // namespace

TEST(DataBlockRoundTrip, ResourceCompressedFromVersion450AndRawBefore) {
  TBytes payload = BuildPayload(FakeOptions("opts"), Text("debug-info-bytes"));
  TBytes v454 = BuildResourceBlock(payload, 454, 11, -22);
  TBytes v440 = BuildResourceBlock(payload, 440, 0, 0);

  EXPECT_TRUE(HasResourceMagic(v454.data(), v454.size()));
  EXPECT_EQ(v440.size(), kResourceHeaderSize + payload.size()) << "440 is stored raw";
  EXPECT_EQ(v454[kResourceHeaderSize], 0x78) << "454 holds a zlib stream from offset 14";

  Loaded a = FromResource(v454);
  ASSERT_TRUE(a.result.Found) << a.result.Reason;
  EXPECT_EQ(a.result.Block.DataVersion, 454);
  EXPECT_EQ(a.result.Block.Reserved1, 11);
  EXPECT_EQ(a.result.Block.Reserved2, -22);
  EXPECT_EQ(a.options, "opts");
  EXPECT_EQ(a.optionsVersion, 454);
  EXPECT_EQ(a.result.Block.DebugInfo, Text("debug-info-bytes"));

  Loaded b = FromResource(v440);
  ASSERT_TRUE(b.result.Found) << b.result.Reason;
  EXPECT_EQ(b.result.Block.DataVersion, 440);
  EXPECT_EQ(b.optionsVersion, 440);
  EXPECT_EQ(CurrentDataVersion(), 440) << "the version read last is kept process-wide";
  EXPECT_EQ(b.result.Block.DebugInfo, Text("debug-info-bytes"));

  // The bytes after the debug information come back as the extension; a reader that stops after
  // the debug information (every earlier one) reads the same options and debug information.
  Loaded x = FromResource(BuildResourceBlock(
      BuildPayload(FakeOptions("opts"), Text("debug-info-bytes"), Text("VLX1-records"))));
  ASSERT_TRUE(x.result.Found) << x.result.Reason;
  EXPECT_EQ(x.options, "opts");
  EXPECT_EQ(x.result.Block.DebugInfo, Text("debug-info-bytes"));
  EXPECT_EQ(x.result.Block.Extension, Text("VLX1-records"));
  EXPECT_TRUE(a.result.Block.Extension.empty());

  // An empty debug-information part is a block all the same.
  Loaded c = FromResource(BuildResourceBlock(BuildPayload(FakeOptions(""), {})));
  ASSERT_TRUE(c.result.Found) << c.result.Reason;
  EXPECT_TRUE(c.result.Block.DebugInfo.empty());
  SetCurrentDataVersion(kLibraryDataVersion);
}

TEST(DataBlockRoundTrip, TrailerPlacesTheVersionBBytesBeforeItsLength) {
  // B = 100: 10 header bytes and a 90-byte payload; the version sits 108 bytes before the end.
  TBytes payload = BuildPayload(FakeOptions("o"), TBytes(81, 0xAB));
  ASSERT_EQ(payload.size(), 90u);
  TBytes file = ModuleFile(BuildTrailer(payload, 0x1234, 7, 8));
  EXPECT_EQ(file[file.size() - 108], 0x34);
  EXPECT_EQ(file[file.size() - 107], 0x12);
  EXPECT_EQ(file[file.size() - 8], 100);

  TMemoryBlockSource source(file.data(), file.size());
  EXPECT_TRUE(HasTrailerMagic(source));
  Loaded t = FromFile(file);
  ASSERT_TRUE(t.result.Found) << t.result.Reason;
  EXPECT_EQ(t.result.Block.DataVersion, 0x1234);
  EXPECT_EQ(t.result.Block.Reserved1, 7);
  EXPECT_EQ(t.result.Block.Reserved2, 8);
  EXPECT_EQ(t.options, "o");
  EXPECT_EQ(t.result.Block.DebugInfo, TBytes(81, 0xAB));

  // The trailer is never compressed, whatever its version.
  TBytes v454 = BuildTrailer(payload);
  EXPECT_EQ(v454.size(), 108u);
  SetCurrentDataVersion(kLibraryDataVersion);
}

// The writer never makes a block the loader refuses: its payload limit holds on both sides.
TEST(DataBlockRoundTrip, PayloadLimitIsTheLoadersOnBothForms) {
  TBytes options = FakeOptions("o");
  TBytes payload = BuildPayload(options, TBytes(kMaxPayloadSize - options.size() - 4, 0));
  ASSERT_EQ(payload.size(), kMaxPayloadSize);
  Loaded largest = FromFile(ModuleFile(BuildTrailer(payload)));
  EXPECT_TRUE(largest.result.Found) << largest.result.Reason;

  payload.push_back(0);
  EXPECT_THROW(BuildTrailer(payload), Exception);
  EXPECT_THROW(BuildResourceBlock(payload), Exception);
  SetCurrentDataVersion(kLibraryDataVersion);
}

TEST(DataBlockHostile, DamagedResourcesCountAsNoBlock) {
  SetCurrentDataVersion(kLibraryDataVersion);
  TBytes good = BuildResourceBlock(BuildPayload(FakeOptions("opts"), Text("dbg")), 440);

  struct Case {
    const char* name;
    TBytes bytes;
  };
  std::vector<Case> cases;
  cases.push_back({"empty", {}});
  cases.push_back({"magic only", TBytes(good.begin(), good.begin() + 4)});
  cases.push_back({"cut in the header", TBytes(good.begin(), good.begin() + 9)});
  cases.push_back({"cut in the options", TBytes(good.begin(), good.begin() + 16)});
  cases.push_back({"cut in the debug information", TBytes(good.begin(), good.end() - 1)});
  TBytes longL = good;
  PutInt32At(longL, good.size() - 3 - 4, 0x7FFFFFFF);
  cases.push_back({"L beyond the resource", longL});
  TBytes negL = good;
  PutInt32At(negL, good.size() - 3 - 4, -5);
  cases.push_back({"negative L", negL});
  TBytes longOptions = good;
  PutInt32At(longOptions, kResourceHeaderSize, 1 << 30);
  cases.push_back({"options length beyond the resource", longOptions});

  TBytes packed = BuildResourceBlock(BuildPayload(FakeOptions("x"), TBytes(5000, 1)), 454);
  cases.push_back({"zlib stream cut short", TBytes(packed.begin(), packed.end() - 20)});
  TBytes garbage = packed;
  for (size_t i = kResourceHeaderSize; i < garbage.size(); ++i) garbage[i] ^= 0xC3;
  cases.push_back({"zlib stream corrupt", garbage});
  TBytes noStream(packed.begin(), packed.begin() + kResourceHeaderSize);
  cases.push_back({"compressed version without a stream", noStream});

  for (const Case& c : cases) {
    Loaded l = FromResource(c.bytes);
    EXPECT_FALSE(l.result.Found) << c.name;
    EXPECT_FALSE(l.result.Reason.empty()) << c.name;
    EXPECT_TRUE(l.result.Block.DebugInfo.empty()) << c.name;
    EXPECT_EQ(l.result.Block.DataVersion, 0) << c.name;
    EXPECT_EQ(CurrentDataVersion(), kLibraryDataVersion) << c.name << ": version left as it was";
  }

  // A payload that inflates beyond the limit is refused before it is all allocated.
  TBytes big = BuildResourceBlock(BuildPayload(FakeOptions(""), TBytes(3 << 20, 0)), 454);
  Loaded l = FromResource(big, 1 << 20);
  EXPECT_FALSE(l.result.Found);
  EXPECT_NE(l.result.Reason.find("limit"), std::string::npos) << l.result.Reason;
  EXPECT_EQ(zlibwrap::LiveAllocations(), 0);
}

TEST(DataBlockHostile, DamagedTrailersCountAsNoBlock) {
  TBytes trailer = BuildTrailer(BuildPayload(FakeOptions("opts"), Text("dbg")));
  TBytes file = ModuleFile(trailer);
  size_t bAt = file.size() - 8;

  struct Case {
    const char* name;
    TBytes bytes;
  };
  std::vector<Case> cases;
  cases.push_back({"empty file", {}});
  cases.push_back({"magic only", TBytes(file.end() - 4, file.end())});
  cases.push_back({"B and magic only", TBytes(file.end() - 8, file.end())});
  for (int32_t b : {-1, -100000, 0, 9, 0x7FFFFFFF, static_cast<int32_t>(file.size() - 7)}) {
    TBytes bad = file;
    PutInt32At(bad, bAt, b);
    cases.push_back({"bad B", bad});
  }
  TBytes longL = file;
  PutInt32At(longL, bAt - 3 - 4, 1000);
  cases.push_back({"L beyond the trailer", longL});
  TBytes negL = file;
  PutInt32At(negL, bAt - 3 - 4, -1);
  cases.push_back({"negative L", negL});
  TBytes noMagic = file;
  noMagic.back() ^= 1;
  cases.push_back({"no magic", noMagic});

  for (const Case& c : cases) {
    Loaded l = FromFile(c.bytes);
    EXPECT_FALSE(l.result.Found) << c.name;
    EXPECT_FALSE(l.result.Reason.empty()) << c.name;
    EXPECT_TRUE(l.result.Block.DebugInfo.empty()) << c.name;
  }

  // B exactly as large as the file allows still reads.
  TBytes whole = trailer;
  Loaded exact = FromFile(whole);
  EXPECT_TRUE(exact.result.Found) << exact.result.Reason;
  // A trailer larger than the payload limit is refused without reading it.
  EXPECT_FALSE(FromFile(ModuleFile(BuildTrailer(BuildPayload({0, 0, 0, 0}, TBytes(4096, 3)))), 1024)
                   .result.Found);
  SetCurrentDataVersion(kLibraryDataVersion);
}
