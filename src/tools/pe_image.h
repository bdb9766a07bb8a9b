// A PE file (PE32 or PE32+) read from its bytes: image base and the section table with each
// section's real name. Names longer than eight characters ("/123") are resolved through the
// COFF string table, which sits after the symbol table in the file and is not mapped into
// memory. Every offset and size is checked against the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/format_error.h"

namespace vl::tools {

struct PeSection {
  std::string Name;
  uint32_t VirtualAddress = 0;  // relative to the image base
  uint32_t VirtualSize = 0;
  uint32_t RawOffset = 0;  // file offset of the raw data
  uint32_t RawSize = 0;
  uint32_t Characteristics = 0;

  bool IsCode() const { return (Characteristics & (0x00000020u | 0x20000000u)) != 0; }
};

struct DataDirectory {
  uint32_t VirtualAddress = 0;
  uint32_t Size = 0;
};

class PeImage {
 public:
  // Parses the file's bytes (kept by the image). Raises EDebugFormatError on malformed input.
  explicit PeImage(std::vector<uint8_t> bytes);
  static PeImage Load(const std::string& path);

  bool Is64() const { return is64_; }
  uint64_t ImageBase() const { return imageBase_; }
  const std::vector<PeSection>& Sections() const { return sections_; }
  uint32_t EntryPoint() const { return entryPoint_; }
  uint32_t SizeOfImage() const { return sizeOfImage_; }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  // The optional header's data directory Index (2: resources); empty when the header has none.
  DataDirectory Directory(size_t index) const;
  // The file offset of Length bytes at RVA, all inside one section's raw data; false otherwise.
  bool FileOffsetOf(uint32_t rva, uint32_t length, uint32_t& offset) const;

  // The first section of that name, or null.
  const PeSection* Find(const std::string& name) const;
  // The section's bytes in the file: the raw data, cut to the virtual size when that is
  // smaller (the rest is file-alignment padding). Empty for a missing section.
  ByteSpan Data(const PeSection& section) const;
  ByteSpan Data(const std::string& name) const;
  // The code section that holds RVA, or null.
  const PeSection* CodeSectionAt(uint64_t rva) const;

 private:
  std::vector<uint8_t> bytes_;
  bool is64_ = false;
  uint64_t imageBase_ = 0;
  uint32_t entryPoint_ = 0;
  uint32_t sizeOfImage_ = 0;
  std::vector<DataDirectory> directories_;
  std::vector<PeSection> sections_;
};

}  // namespace vl::tools
