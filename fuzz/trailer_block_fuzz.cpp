// libFuzzer target: the reader of the trailer form of the data block, over arbitrary file bytes;
// the extension of a block it finds goes to the options' extension reader.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/module_options.h"
#include "datablock/data_block_reader.h"
#include "datablock/fake_options.h"

using namespace vl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string options;
  datablock::TMemoryBlockSource file(data, size);
  datablock::HasTrailerMagic(file);
  datablock::TBlockResult r = datablock::ReadTrailerBlock(
      file, testsupport::FakeOptionsReader{&options, nullptr}, size_t{1} << 20);
  if (r.Found && r.Block.DebugInfo.size() > size) __builtin_trap();
  if (r.Found) {
    TVantorModuleOptions o("", false);
    try {
      if (o.LoadExtension(r.Block.Extension.data(), r.Block.Extension.size()) >
          r.Block.Extension.size())
        __builtin_trap();
    } catch (const EVantorOptionsStreamError&) {
    }
  }
  return 0;
}
