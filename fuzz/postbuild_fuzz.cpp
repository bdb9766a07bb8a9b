// libFuzzer target for the post-build tool's inputs. An input that starts with "MZ" is a linked
// module: it is dumped (resource directory, block reader) and given a trailer block, which must
// then dump back. Any other input is an options file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "tools/options_ini.h"
#include "tools/post_build.h"

using namespace vl;

using namespace vl::tools;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= 2 && data[0] == 'M' && data[1] == 'Z') {
    std::vector<uint8_t> bytes(data, data + size);
    try {
      DumpBlock(bytes, true);
    } catch (const std::exception&) {
    }
    std::vector<uint8_t> attached;
    try {
      AttachResult result;
      attached = AttachBlock(bytes, "", BlockForm::Trailer, result);
    } catch (const std::exception&) {
      return 0;
    }
    // A block the tool wrote must read back.
    if (DumpBlock(attached, false).empty()) std::abort();
    return 0;
  }
  TVantorModuleOptions options("", false);
  try {
    ApplyOptionsIni(std::string(reinterpret_cast<const char*>(data), size), "fuzz.ini", options);
  } catch (const EOptionsIniError&) {
    return 0;
  }
  // What was accepted writes out and reads back to the same options.
  TVantorModuleOptions again("", false);
  ApplyOptionsIni(WriteOptionsIni(options), "again.ini", again);
  if (WriteOptionsIni(again) != WriteOptionsIni(options)) std::abort();
  return 0;
}
