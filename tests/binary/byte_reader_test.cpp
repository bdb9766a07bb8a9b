// The bounded reader at the edges of its bytes, its LEB128 and string helpers, and the messages
// of its raising form.
#include "binary/byte_reader.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "binary/checked_reader.h"

using namespace vl;

namespace {

using binary::TByteReader;
using binary::TByteSpan;
using binary::TReadFailure;

TEST(ByteReader, ShortReadsFailWithoutMoving) {
  const std::vector<uint8_t> bytes = {1, 2, 3};
  struct Case {
    const char* Name;
    bool (*Read)(TByteReader&);
  };
  const Case cases[] = {
      {"U32",
       [](TByteReader& r) {
         uint32_t v;
         return r.ReadU32(v);
       }},
      {"U64",
       [](TByteReader& r) {
         uint64_t v;
         return r.ReadU64(v);
       }},
      {"I32",
       [](TByteReader& r) {
         int32_t v;
         return r.ReadI32(v);
       }},
      {"U24",
       [](TByteReader& r) {
         uint32_t v;
         return r.ReadU24(v);
       }},
      {"Unsigned 9",
       [](TByteReader& r) {
         uint64_t v;
         return r.ReadUnsigned(9, v);
       }},
      {"Skip 4", [](TByteReader& r) { return r.Skip(4); }},
      {"Seek 4", [](TByteReader& r) { return r.Seek(4); }},
      {"Take huge",
       [](TByteReader& r) {
         TByteSpan s;
         return r.Take(~uint64_t{0}, s);
       }},
      {"Split 4",
       [](TByteReader& r) {
         TByteReader p;
         return r.Split(4, p);
       }},
      {"short string",
       [](TByteReader& r) {
         std::string s;
         return r.ReadShortString(s, 0);
       }},
      {"long string",
       [](TByteReader& r) {
         std::string s;
         return r.ReadLongString(s, 0);
       }},
  };
  for (const Case& c : cases) {
    TByteReader r(bytes.data(), bytes.size());
    uint8_t first;
    ASSERT_TRUE(r.ReadU8(first));
    const size_t before = r.Position();
    EXPECT_FALSE(c.Read(r)) << c.Name;
    EXPECT_EQ(r.Position(), before) << c.Name;
    EXPECT_EQ(r.Failure(), TReadFailure::rfPastEnd) << c.Name;
  }
  // Reads that exactly reach the end succeed.
  TByteReader r(bytes.data(), bytes.size());
  uint32_t v24;
  EXPECT_TRUE(r.ReadU24(v24));
  EXPECT_EQ(v24, 0x030201u);
  EXPECT_TRUE(r.AtEnd());
  EXPECT_TRUE(TByteReader(nullptr, 5).AtEnd());  // no bytes, whatever the size says
}

TEST(ByteReader, Leb128) {
  struct Case {
    std::vector<uint8_t> Bytes;
    bool Ok;
    uint64_t Unsigned;
    int64_t Signed;
    TReadFailure Failure;
  };
  const Case cases[] = {
      {{0x00}, true, 0, 0, TReadFailure::rfNone},
      {{0x7f}, true, 127, -1, TReadFailure::rfNone},
      {{0xe5, 0x8e, 0x26}, true, 624485, 624485, TReadFailure::rfNone},
      {{0xc0, 0xbb, 0x78}, true, 1973696, -123456, TReadFailure::rfNone},
      {{0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x01},
       true,
       ~uint64_t{0},
       -1,
       TReadFailure::rfNone},
      {{0x80}, false, 0, 0, TReadFailure::rfPastEnd},
      {std::vector<uint8_t>(20, 0x80), false, 0, 0, TReadFailure::rfLebTooLong},
  };
  for (const Case& c : cases) {
    TByteReader u(c.Bytes.data(), c.Bytes.size());
    TByteReader s(c.Bytes.data(), c.Bytes.size());
    uint64_t unsignedValue = 0;
    int64_t signedValue = 0;
    EXPECT_EQ(u.ReadUleb(unsignedValue), c.Ok) << c.Bytes.size();
    EXPECT_EQ(s.ReadSleb(signedValue), c.Ok) << c.Bytes.size();
    if (c.Ok) {
      EXPECT_EQ(unsignedValue, c.Unsigned);
      EXPECT_EQ(signedValue, c.Signed);
      EXPECT_TRUE(u.AtEnd());
    } else {
      EXPECT_EQ(u.Failure(), c.Failure);
      EXPECT_EQ(u.Position(), 0u);
    }
  }
  // An unsigned value beyond 64 bits.
  const std::vector<uint8_t> wide = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x02};
  TByteReader r(wide.data(), wide.size());
  uint64_t value;
  EXPECT_FALSE(r.ReadUleb(value));
  EXPECT_EQ(r.Failure(), TReadFailure::rfLebOverflow);
}

TEST(ByteReader, Strings) {
  const std::vector<uint8_t> bytes = {'a', 'b', 0, 2, 'x' ^ 0x5A, 'y' ^ 0x5A, 1, 0, 0, 0, 'z', 'q'};
  TByteReader r(bytes.data(), bytes.size());
  std::string text;
  ASSERT_TRUE(r.ReadCString(text));
  EXPECT_EQ(text, "ab");
  ASSERT_TRUE(r.ReadShortString(text, 0x5A));
  EXPECT_EQ(text, "xy");
  ASSERT_TRUE(r.ReadLongString(text, 0));
  EXPECT_EQ(text, "z");
  // "q" has no terminator.
  EXPECT_FALSE(r.ReadCString(text));
  EXPECT_EQ(r.Failure(), TReadFailure::rfNoTerminator);
  EXPECT_EQ(r.Remaining(), 1u);

  std::string found;
  EXPECT_TRUE(binary::StringAt(TByteSpan{bytes.data(), bytes.size()}, 1, found));
  EXPECT_EQ(found, "b");
  EXPECT_FALSE(binary::StringAt(TByteSpan{bytes.data(), bytes.size()}, 11, found));
  EXPECT_FALSE(binary::StringAt(TByteSpan{bytes.data(), bytes.size()}, 99, found));
}

TEST(ByteSpan, OffsetsThatWouldWrapAreRefused) {
  const uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const TByteSpan span{bytes, sizeof bytes};
  TByteSpan part;
  EXPECT_TRUE(span.Sub(8, 0, part));
  EXPECT_FALSE(span.Sub(9, 0, part));
  EXPECT_FALSE(span.Sub(4, ~uint64_t{0} - 2, part));
  EXPECT_FALSE(span.Sub(~uint64_t{0}, 2, part));
  uint32_t value;
  EXPECT_TRUE(span.U32At(4, value));
  EXPECT_EQ(value, 0x08070605u);
  EXPECT_FALSE(span.U32At(5, value));
  EXPECT_FALSE(span.U32At(~uint64_t{0} - 1, value));
}

class ETestError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string Message(void (*read)(binary::TCheckedReader<ETestError>&)) {
  const uint8_t bytes[4] = {0x80, 0x80, 'a', 'b'};
  binary::TCheckedReader<ETestError> in(bytes, sizeof bytes, "the payload");
  try {
    read(in);
  } catch (const ETestError& e) {
    return e.what();
  }
  return "no error";
}

TEST(CheckedReader, MessagesNameTheFieldTheRegionAndTheOffset) {
  EXPECT_EQ(Message([](auto& in) { in.Skip(2), in.U32("debug information length"); }),
            "debug information length: 4 bytes needed at offset 0x2 of the payload, 2 left");
  EXPECT_EQ(Message([](auto& in) { in.Take(5); }),
            "5 bytes needed at offset 0x0 of the payload, 4 left");
  EXPECT_EQ(Message([](auto& in) { in.Skip(2), in.CString("name"); }),
            "name: the payload at offset 0x2: string without terminator");
  EXPECT_EQ(Message([](auto& in) { in.Uleb(), in.Fail("bad tag"); }),
            "the payload at offset 0x3: bad tag");
  EXPECT_THROW(binary::CheckedSub<ETestError>(TByteSpan{nullptr, 4}, 2, 3, "table"), ETestError);
  EXPECT_THROW(binary::CheckedFrom<ETestError>(TByteSpan{nullptr, 4}, 5, "table"), ETestError);
}

}  // namespace
