// Reads the export directory and the code range of a module image as it lies in memory, and
// measures exported routines up to their first return instruction. Works on the image's bytes
// only, so every offset taken from the headers is checked against the bytes that exist.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vl {

struct TImageLayout {
  uint32_t CodeStart = 0;  // relative to the image, from the header's code base
  uint32_t CodeEnd = 0;    // exclusive; clipped to the bytes given, never below CodeStart
  uint32_t ExportRva = 0;
  uint32_t ExportSize = 0;
  uint32_t ImageSize = 0;  // the header's size of the image in memory
};

struct TExportEntry {
  std::string Name;
  uint32_t Rva = 0;  // of the routine, from the address table
};

// Reads the headers of a 32- or 64-bit image. False when they are missing, cut off or not a PE
// image. The code range is clipped to the bytes given (empty when it starts beyond them).
bool ReadImageLayout(const uint8_t* image, size_t size, TImageLayout& layout);

// The named exports (at most the smaller of the function and name counts), in the order of the
// name table. Entries whose name or address lies outside the image are left out, and so are
// forwarders (an address inside the export directory names a routine of another module); a
// directory with non-zero flags gives none.
std::vector<TExportEntry> ReadExportEntries(const uint8_t* image, size_t size,
                                            const TImageLayout& layout);

// Bytes from Rva to the routine's first return instruction inside the code range: a routine
// that starts with a frame push (0x55) ends at a frame pop or leave (0x5D, 0xC9) followed by a
// return (0xC2, 0xC3, 0xCA, 0xCB); any other at the first return byte. 1 when there is none.
int32_t MeasureRoutine(const uint8_t* image, size_t size, const TImageLayout& layout, uint32_t rva);

}  // namespace vl
