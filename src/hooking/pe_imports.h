// Finds the import-address-table slots of a module image as the loader lays it out in memory:
// the slots of the import directory and of the delay-load import directory. Every offset and
// count read from the image is checked against the image's size, so damaged headers give an
// error instead of a wild read. Pure byte work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vl::hooking {

struct TImportSlots {
  bool Ok = false;
  std::string Reason;                 // why the image could not be read (when not Ok)
  unsigned PointerSize = 0;           // 4 (PE32) or 8 (PE32+)
  std::vector<uint32_t> SlotOffsets;  // offsets of the slots from the image's start
};

// Image: the module's memory from its base, ImageSize bytes of it readable.
TImportSlots FindImportSlots(const uint8_t* image, size_t imageSize);

// The image size that the module's headers declare (SizeOfImage), or 0 when the headers within
// the first Available bytes are not those of a PE image.
uint32_t DeclaredImageSize(const uint8_t* image, size_t available);

}  // namespace vl::hooking
