// vl_postbuild: gives a linked module its crash-reporter data block, or prints it back.
//
//   vl_postbuild attach <module> [--options <file.ini>] [--trailer]
//   vl_postbuild dump <module> [--lines]
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "tools/post_build.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: vl_postbuild attach <module> [--options <file.ini>] [--trailer]\n"
               "       vl_postbuild dump <module> [--lines]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vl::tools;
  if (argc < 3) return Usage();
  const std::string command = argv[1];
  const std::string module = argv[2];
  try {
    if (command == "attach") {
      std::string ini;
      BlockForm form = BlockForm::Resource;
      for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--options") == 0 && i + 1 < argc) {
          ini = argv[++i];
        } else if (std::strcmp(argv[i], "--trailer") == 0) {
          form = BlockForm::Trailer;
        } else {
          return Usage();
        }
      }
      AttachResult r = AttachBlockToFile(module, ini, form);
      std::printf(
          "%s: %s block of %zu bytes (%zu units, %zu names; debug information %zu bytes "
          "from %zu bytes of DWARF)\n",
          module.c_str(), form == BlockForm::Trailer ? "trailer" : "resource", r.BlockSize,
          r.Table.Units, r.Table.IndexEntries, r.DebugInfoSize, r.DwarfSize);
      if (r.Table.DroppedNames) {
        std::printf("%s: %zu names over 255 bytes left out of the name index\n", module.c_str(),
                    r.Table.DroppedNames);
      }
      return 0;
    }
    if (command == "dump") {
      bool lines = false;
      for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--lines") == 0) {
          lines = true;
        } else {
          return Usage();
        }
      }
      std::string text = DumpBlock(ReadFileBytes(module), lines);
      std::fwrite(text.data(), 1, text.size(), stdout);
      return 0;
    }
    return Usage();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vl_postbuild: %s: %s\n", module.c_str(), e.what());
    return 1;
  }
}
