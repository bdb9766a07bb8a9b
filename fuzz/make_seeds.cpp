// Writes seed inputs for the fuzz targets: debug information from the writer and a small image
// with an export directory.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "debuginfo/debug_table.h"

using namespace vl;

namespace {

void Save(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> DebugSeed(uint8_t versionPick, const vl::TDebugTable& table,
                               uint16_t version) {
  std::vector<uint8_t> bytes = {versionPick, 3};
  std::vector<uint8_t> body = vl::WriteDebugTable(table, version);
  bytes.insert(bytes.end(), body.begin(), body.end());
  return bytes;
}

std::vector<uint8_t> ImageSeed() {
  std::vector<uint8_t> b(0x600, 0);
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); };
  auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&b[at], &v, 2); };
  put16(0, 0x5A4D);
  put32(60, 0x80);
  put32(0x80, 0x4550);
  put16(0x80 + 20, 224);
  put16(0x98, 0x10B);
  put32(0x98 + 4, 0x100);
  put32(0x98 + 20, 0x200);
  put32(0x98 + 56, 0x600);
  put32(0x98 + 92, 16);
  put32(0x98 + 96, 0x400);
  put32(0x400 + 20, 2);
  put32(0x400 + 24, 2);
  put32(0x400 + 28, 0x440);
  put32(0x400 + 32, 0x460);
  put32(0x400 + 36, 0x470);
  put32(0x440, 0x200);
  put32(0x444, 0x210);
  put32(0x460, 0x480);
  put32(0x464, 0x4A0);
  put16(0x472, 1);
  std::strcpy(reinterpret_cast<char*>(&b[0x480]), "@Forms@TApplication@Run$qqrv");
  std::strcpy(reinterpret_cast<char*>(&b[0x4A0]), "Main.TForm1.Open");
  const uint8_t code[] = {0x55, 0x8B, 0xEC, 0x5D, 0xC3, 0, 0,    0,    0,   0,
                          0,    0,    0,    0,    0,    0, 0x33, 0xC0, 0xC3};
  std::memcpy(&b[0x200], code, sizeof code);
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_seeds DEBUG_INFO_DIR EXPORTS_DIR\n");
    return 2;
  }
  vl::TDebugTable table;
  table.Index = {{"Main.TForm1.Open", 0x10, 0}, {"Main.Run", 0x40, 1}};
  table.Units.push_back({"Main",
                         10,
                         0,
                         0x100,
                         {{{1, 4, true}, "TForm1.Open"},
                          {{2, 4, true}, ".Close"},
                          {{1, 14, false}, ""},
                          {{3, 36, false}, ""},
                          {{-1, 6, false}, ""},
                          {{10, 65536, false}, ""},
                          {{0, 0, true}, "@Init"}}});
  table.Units.push_back({"Forms.dpr", 1, 0x100, 0x20, {{{1, 2, false}, ""}}});
  Save(std::string(argv[1]) + "/seed454", DebugSeed(4, table, 454));
  Save(std::string(argv[1]) + "/seed422", DebugSeed(2, table, 422));
  Save(std::string(argv[1]) + "/seed400", DebugSeed(0, table, 400));
  Save(std::string(argv[2]) + "/image", ImageSeed());
  return 0;
}
