// The line-record forms as stored bytes, and the writer's choice of form.
#include "debuginfo/line_record.h"

#include <gtest/gtest.h>

using namespace vl;

namespace vl {
namespace {

TLineStep Read(std::vector<uint8_t> bytes, uint16_t version, size_t* used = nullptr) {
  binary::TByteReader reader(bytes.data(), bytes.size());
  TLineStep step;
  EXPECT_TRUE(ReadLineStep(reader, version, step));
  if (used) *used = reader.Position();
  return step;
}

std::vector<uint8_t> Write(TLineStep step, uint16_t version) {
  TByteWriter writer;
  WriteLineStep(writer, step, version);
  return writer.Bytes();
}

TEST(LineRecord, DecodesEachForm) {
  size_t used;
  EXPECT_EQ(Read({0x1A}, 454, &used), (TLineStep{1, 14, false}));
  EXPECT_EQ(used, 1u);
  EXPECT_EQ(Read({0xA5}, 454, &used), (TLineStep{6, 2, true}));
  EXPECT_EQ(used, 1u);
  EXPECT_EQ(Read({0x33, 0x12}, 454, &used), (TLineStep{3, 36, false}));
  EXPECT_EQ(used, 2u);
  EXPECT_EQ(Read({0x37, 0x12}, 454), (TLineStep{3, 36, true}));
  // Four bytes, bits 4-19 = 0xFFFE: line step -1; bits 20-31 = 5: address step 6.
  EXPECT_EQ(Read({0xEB, 0xFF, 0x5F, 0x00}, 454, &used), (TLineStep{-1, 6, false}));
  EXPECT_EQ(used, 4u);
  // Bits 20-31 = 0xFFF: address step 0; bits 4-19 = 0xFFFF: line step 0.
  EXPECT_EQ(Read({0xFF, 0xFF, 0xFF, 0xFF}, 454), (TLineStep{0, 0, true}));
}

TEST(LineRecord, EscapeDependsOnDataVersion) {
  const std::vector<uint8_t> bytes = {0xEB, 0xFF, 0xEF, 0xFF, 0x09, 0x00, 0xFF, 0xFF};
  size_t used;
  EXPECT_EQ(Read(bytes, 423, &used), (TLineStep{10, 65536, false}));
  EXPECT_EQ(used, 8u);
  EXPECT_EQ(Read(bytes, 422, &used), (TLineStep{-1, 4095, false}));
  EXPECT_EQ(used, 4u);
}

TEST(LineRecord, CutOffRecordsFailWithoutMoving) {
  for (std::vector<uint8_t> bytes : std::vector<std::vector<uint8_t>>{
           {}, {0x33}, {0x3B, 0, 0}, {0xEB, 0xFF, 0xEF, 0xFF, 0x09, 0x00, 0xFF}}) {
    binary::TByteReader reader(bytes.data(), bytes.size());
    TLineStep step;
    EXPECT_FALSE(ReadLineStep(reader, 454, step)) << bytes.size();
    EXPECT_EQ(reader.Position(), 0u);
  }
}

TEST(LineRecord, WriterPicksTheSmallestForm) {
  EXPECT_EQ(Write({1, 14, false}, 454), (std::vector<uint8_t>{0x1A}));
  EXPECT_EQ(Write({6, 2, true}, 454), (std::vector<uint8_t>{0xA5}));
  EXPECT_EQ(Write({3, 36, false}, 454), (std::vector<uint8_t>{0x33, 0x12}));
  EXPECT_EQ(Write({4, 32, false}, 454).size(), 1u);
  EXPECT_EQ(Write({5, 1, false}, 454).size(), 2u);
  EXPECT_EQ(Write({8, 8, true}, 454).size(), 1u);
  EXPECT_EQ(Write({1, 9, true}, 454).size(), 2u);
  EXPECT_EQ(Write({32, 128, true}, 454).size(), 2u);
  EXPECT_EQ(Write({0, 1, false}, 454).size(), 4u);
  EXPECT_EQ(Write({-5, 0, false}, 454).size(), 4u);
  EXPECT_EQ(Write({1, 4095, false}, 454).size(), 4u);
  EXPECT_EQ(Write({1, 4096, false}, 454).size(), 8u);
  // -1/4095 spells the escape from 423 on, so it needs the escape itself there.
  EXPECT_EQ(Write({-1, 4095, false}, 454).size(), 8u);
  EXPECT_EQ(Write({-1, 4095, false}, 422).size(), 4u);
  EXPECT_EQ(Read(Write({-1, 4095, true}, 454), 454), (TLineStep{-1, 4095, true}));
  EXPECT_FALSE(LineStepFits({1, 4096, false}, 422));
  EXPECT_FALSE(LineStepFits({40000, 1, false}, 454));
  EXPECT_FALSE(LineStepFits({1, 65537, false}, 454));
  EXPECT_THROW(Write({1, 65537, false}, 454), Exception);
}

// Steps no record holds are split so that each address keeps the line the single step gave.
TEST(LineRecord, SplitStepsKeepAddressesAndLines) {
  const TLineStep steps[] = {{1, 200000, false}, {-100000, 3, false}, {70000, 70000, false},
                             {1, 5000, false},   {2, 0, false},       {1, 4, true}};
  for (uint16_t version : {uint16_t{400}, uint16_t{454}}) {
    for (const TLineStep& step : steps) {
      std::vector<TLineStep> parts = SplitLineStep(step, version);
      int64_t line = 0, addr = 0;
      for (size_t i = 0; i < parts.size(); ++i) {
        EXPECT_TRUE(LineStepFits(parts[i], version));
        EXPECT_EQ(parts[i].HasName, i == 0 && step.HasName);
        // Every address range lies before the last line change.
        if (parts[i].AddrStep > 0) {
          EXPECT_EQ(line, 0);
        }
        line += parts[i].LineStep;
        addr += parts[i].AddrStep;
      }
      EXPECT_EQ(line, step.LineStep);
      EXPECT_EQ(addr, step.AddrStep);
    }
    EXPECT_THROW(SplitLineStep({1, 200000, true}, version), Exception);
  }
}

}  // namespace
}  // namespace vl
