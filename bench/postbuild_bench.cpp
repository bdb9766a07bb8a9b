// Prints what the post-build step costs on linked modules: the time to read the DWARF, build the
// debug-information table, write it and compress the block, and the block's size as a share of
// the module's DWARF sections. Figures only; nothing is asserted.
//
//   postbuild_bench <module.exe>...     (default: the DWARF samples of the host build)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "datablock/data_block_writer.h"
#include "debuginfo/debug_table.h"
#include "figure.h"
#include "tools/post_build.h"

using namespace vl;

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void Measure(const std::string& path) {
  using namespace vl::tools;
  std::vector<uint8_t> bytes = ReadFileBytes(path);
  constexpr int kRounds = 3;
  double best = 0;
  AttachResult result;
  size_t blockSize = 0;
  for (int round = 0; round < kRounds; ++round) {
    Clock::time_point start = Clock::now();
    PeImage image(bytes);
    std::vector<uint8_t> payload = MakePayload(image, "", result);
    blockSize = datablock::BuildResourceBlock(payload).size();
    double ms = MillisecondsSince(start);
    if (round == 0 || ms < best) best = ms;
  }
  std::printf(
      "%s\n  file %zu bytes, DWARF sections %zu bytes; %zu units, %zu names\n"
      "  debug information %zu bytes, resource block %zu bytes = %.2f%% of the DWARF\n"
      "  time to make the block: %.1f ms (best of %d)\n",
      path.c_str(), bytes.size(), result.DwarfSize, result.Table.Units, result.Table.IndexEntries,
      result.DebugInfoSize, blockSize,
      result.DwarfSize
          ? 100.0 * static_cast<double>(blockSize) / static_cast<double>(result.DwarfSize)
          : 0.0,
      best, kRounds);
  const std::string name = std::filesystem::path(path).filename().string();
  bench::Figure("post-build block, " + name,
                bench::Format("%.1f ms, %.2f%% of DWARF", best,
                              result.DwarfSize ? 100.0 * static_cast<double>(blockSize) /
                                                     static_cast<double>(result.DwarfSize)
                                               : 0.0),
                "", "");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> paths(argv + 1, argv + argc);
  if (paths.empty()) {
    for (const auto& entry : std::filesystem::directory_iterator(VL_BENCH_SAMPLES)) {
      if (entry.path().extension() == ".exe") paths.push_back(entry.path().string());
    }
    std::sort(paths.begin(), paths.end());
  }
  for (const std::string& path : paths) {
    try {
      Measure(path);
    } catch (const std::exception& e) {
      std::printf("%s: %s\n", path.c_str(), e.what());
    }
  }
  return 0;
}
