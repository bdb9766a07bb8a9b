// Finding an RCDATA resource by name in a PE file, for patching a placeholder in place and for
// reading a block back. Every offset of the resource directory is checked against the file.
#pragma once

#include <cstdint>
#include <string>

#include "tools/pe_image.h"

namespace vl::tools {

struct ResourceLocation {
  uint32_t DataEntryOffset = 0;  // file offset of the IMAGE_RESOURCE_DATA_ENTRY
  uint32_t DataOffset = 0;       // file offset of the resource's bytes
  uint32_t Size = 0;             // the size the entry gives
};

// Finds RCDATA Name (its first language). False when the image has no such resource; raises
// EDebugFormatError when the resource directory is malformed.
bool FindRcData(const PeImage& image, const std::string& name, ResourceLocation& location);

}  // namespace vl::tools
