// Fuzz target: module images with damaged headers and export directories, and export names of
// any shape. The input is the image; every export read from it is measured and its name decoded.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "debuginfo/export_name.h"
#include "debuginfo/pe_exports.h"

using namespace vl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vl::TExportNameParts parts;
  vl::DecodeExportName(std::string(reinterpret_cast<const char*>(data), size < 300 ? size : 300),
                       parts);
  vl::TImageLayout layout;
  if (!vl::ReadImageLayout(data, size, layout)) return 0;
  // The code range is clipped to the bytes, or empty when it starts beyond them.
  if (layout.CodeEnd < layout.CodeStart ||
      (layout.CodeEnd > layout.CodeStart && layout.CodeEnd > size))
    abort();
  for (const vl::TExportEntry& entry : vl::ReadExportEntries(data, size, layout)) {
    if (entry.Name.size() > 256) abort();
    int32_t length = vl::MeasureRoutine(data, size, layout, entry.Rva);
    // A routine is measured inside the bytes; one outside them gets size 1.
    if (length < 0 || (entry.Rva >= size ? length != 1 : entry.Rva + uint64_t(length) > size))
      abort();
    vl::DecodeExportName(entry.Name, parts);
  }
  return 0;
}
