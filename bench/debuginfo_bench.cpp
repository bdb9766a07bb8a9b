// Prints what address lookups cost on debug information of a large program: 2,000 units with
// 200,000 line records in all. Figures only; nothing is asserted.
#include <chrono>
#include <cstdio>
#include <random>

#include "debuginfo/debug_table.h"
#include "debuginfo/name_index.h"
#include "debuginfo/source_lookup.h"
#include "figure.h"

using namespace vl;

namespace {

constexpr int kUnits = 2000;
constexpr int kRecordsPerUnit = 100;
constexpr uint16_t kVersion = 454;

using Clock = std::chrono::steady_clock;

double MicrosecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// Steps as a compiler gives them: mostly small, a routine name every tenth record, now and
// then a jump back in the source or a long stretch of code.
vl::TDebugTable MakeTable(std::mt19937& rng) {
  std::uniform_int_distribution<int> percent(0, 99);
  vl::TDebugTable table;
  int32_t start = 0;
  for (int u = 0; u < kUnits; ++u) {
    vl::TDebugUnit unit;
    unit.Name = "Unit" + std::to_string(u);
    unit.FirstLine = 20;
    unit.StartOffset = start;
    int64_t covered = 0;
    for (int r = 0; r < kRecordsPerUnit; ++r) {
      vl::TLineRecord record;
      int p = percent(rng);
      record.Step.LineStep = p < 90 ? 1 + p % 4 : (p < 95 ? -(p % 30) : 5 + p % 20);
      record.Step.AddrStep = p < 80 ? 1 + p % 24 : 20 + p * 3;
      if (r % 10 == 0) {
        record.Step.HasName = true;
        record.Name = "TClass" + std::to_string(r / 30) + ".Proc" + std::to_string(r);
        table.Index.push_back({unit.Name + "." + record.Name, int32_t(start + covered), 0});
      }
      covered += record.Step.AddrStep;
      unit.Records.push_back(record);
    }
    unit.CodeSize = int32_t(covered + 16);
    start += unit.CodeSize;
    table.Units.push_back(std::move(unit));
  }
  return table;
}

}  // namespace

int main() {
  std::mt19937 rng(454);
  vl::TDebugTable table = MakeTable(rng);
  std::vector<uint8_t> bytes = vl::WriteDebugTable(table, kVersion);
  size_t indexBytes = 4;
  for (const auto& e : table.Index) indexBytes += 1 + e.FullName.size() + 8;
  const size_t records = size_t{kUnits} * kRecordsPerUnit;
#if defined(__OPTIMIZE__)
  const char* build = "optimized";
#else
  const char* build = "unoptimized";
#endif
#if defined(__SANITIZE_ADDRESS__)
  const char* checks = ", address sanitizer on";
#else
  const char* checks = "";
#endif
  std::printf("build: %s%s\n", build, checks);
  std::printf("debug information: %d units, %zu line records, %zu name-index entries\n", kUnits,
              records, table.Index.size());
  std::printf(
      "size: %zu bytes (%zu without the name index); %.2f bytes per line record "
      "(%.2f without the index)\n",
      bytes.size(), bytes.size() - indexBytes, double(bytes.size()) / double(records),
      double(bytes.size() - indexBytes) / double(records));
  bench::Figure("debug table, 200,000 line records",
                bench::Format("%.2f bytes/record", double(bytes.size()) / double(records)), "", "");

  const vl::TDebugUnit& last = table.Units.back();
  const int64_t lastOffset = int64_t{last.StartOffset} + last.CodeSize - 20;
  vl::TSourceLocation at;
  const int kRounds = 200;
  auto t0 = Clock::now();
  for (int i = 0; i < kRounds; ++i) {
    if (!vl::FindSourceLocation(bytes.data(), bytes.size(), kVersion, lastOffset, at)) return 1;
  }
  const double one = MicrosecondsSince(t0) / kRounds;
  std::printf("one lookup in the last unit: %.1f us (%s, line %d)\n", one, at.UnitName.c_str(),
              at.LineNumber);
  bench::Figure("source lookup, last of 2,000 units", bench::Format("%.1f us", one), "", "");

  // A call stack: 50 addresses spread over the program, innermost first.
  std::uniform_int_distribution<int> unitPick(0, kUnits - 1);
  std::vector<int64_t> stack;
  for (int i = 0; i < 50; ++i) {
    const vl::TDebugUnit& u = table.Units[size_t(unitPick(rng))];
    stack.push_back(u.StartOffset + std::uniform_int_distribution<int32_t>(0, u.CodeSize - 1)(rng));
  }
  t0 = Clock::now();
  for (int i = 0; i < kRounds / 10; ++i) {
    for (int64_t offset : stack) {
      if (!vl::FindSourceLocation(bytes.data(), bytes.size(), kVersion, offset, at)) return 1;
    }
  }
  const double fifty = MicrosecondsSince(t0) / (kRounds / 10);
  std::printf("50-entry call stack: %.1f us (%.3f ms)\n", fifty, fifty / 1000);
  bench::Figure("source lookup, 50-frame stack", bench::Format("%.1f us", fifty), "", "");
  t0 = Clock::now();
  const vl::TUnitIndex units(bytes.data(), bytes.size(), kVersion);
  const double made = MicrosecondsSince(t0);
  t0 = Clock::now();
  for (int i = 0; i < kRounds / 10; ++i) {
    for (int64_t offset : stack) {
      if (!units.Find(offset, at)) return 1;
    }
  }
  const double indexed = MicrosecondsSince(t0) / (kRounds / 10);
  bench::Figure("source lookup, 50-frame stack, unit index",
                bench::Format("%.1f us (index made in %.1f us)", indexed, made), "",
                bench::Format("indexed/plain %.3f", indexed / fifty));

  int32_t offset;
  const std::string& lastName = table.Index.back().FullName;
  t0 = Clock::now();
  for (int i = 0; i < kRounds; ++i) {
    if (!vl::FindNameIndexOffset(bytes.data(), bytes.size(), kVersion, lastName, offset)) return 1;
  }
  const double name = MicrosecondsSince(t0) / kRounds;
  std::printf("name lookup of the last index entry: %.1f us\n", name);
  bench::Figure("name lookup, last index entry", bench::Format("%.1f us", name), "", "");
  return 0;
}
