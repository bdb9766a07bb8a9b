#include "tools/pe_image.h"

#include <fstream>
#include <iterator>

namespace vl::tools {

namespace {

constexpr uint16_t kPe32Magic = 0x10b;
constexpr uint16_t kPe32PlusMagic = 0x20b;
constexpr size_t kCoffSymbolSize = 18;
constexpr size_t kSectionHeaderSize = 40;

// The string-table offset of a long section name: "/123" in decimal, or "//" followed by
// base-64 digits for offsets beyond seven decimal digits.
uint64_t LongNameOffset(const std::string& field) {
  uint64_t offset = 0;
  if (field.size() > 2 && field[1] == '/') {
    for (size_t i = 2; i < field.size(); ++i) {
      char c = field[i];
      int digit = c >= 'A' && c <= 'Z'   ? c - 'A'
                  : c >= 'a' && c <= 'z' ? c - 'a' + 26
                  : c >= '0' && c <= '9' ? c - '0' + 52
                  : c == '+'             ? 62
                  : c == '/'             ? 63
                                         : -1;
      if (digit < 0) throw EDebugFormatError("PE section name '" + field + "' is malformed");
      offset = offset * 64 + static_cast<uint64_t>(digit);
    }
    return offset;
  }
  if (field.size() < 2) throw EDebugFormatError("PE section name '/' has no offset");
  for (size_t i = 1; i < field.size(); ++i) {
    if (field[i] < '0' || field[i] > '9')
      throw EDebugFormatError("PE section name '" + field + "' is malformed");
    offset = offset * 10 + static_cast<uint64_t>(field[i] - '0');
  }
  return offset;
}

}  // namespace

PeImage::PeImage(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {
  ByteSpan file{bytes_.data(), bytes_.size()};
  ByteReader dos(file, "PE file");
  if (dos.Remaining() < 64 || dos.U16() != 0x5a4d) dos.Fail("no MZ header");
  dos.Seek(0x3c);
  uint32_t peOffset = dos.U32();

  ByteReader header(file.From(peOffset, "PE header"), "PE header");
  if (header.U32() != 0x00004550) header.Fail("no PE signature");
  machine_ = header.U16();
  uint16_t sectionCount = header.U16();
  header.Skip(4);  // time stamp
  uint32_t symbolTable = header.U32();
  uint32_t symbolCount = header.U32();
  uint16_t optionalSize = header.U16();
  header.Skip(2);  // characteristics

  ByteReader optional(header.Take(optionalSize), "PE optional header");
  uint16_t magic = optional.U16();
  if (magic == kPe32Magic) {
    is64_ = false;
    optional.Seek(28);
    imageBase_ = optional.U32();
  } else if (magic == kPe32PlusMagic) {
    is64_ = true;
    optional.Seek(24);
    imageBase_ = optional.U64();
  } else {
    optional.Fail("unknown optional-header magic " + std::to_string(magic));
  }
  optional.Seek(16);
  entryPoint_ = optional.U32();
  optional.Seek(56);
  sizeOfImage_ = optional.U32();
  optional.Seek(is64_ ? 108 : 92);
  uint32_t directoryCount = optional.U32();
  for (uint32_t i = 0; i < directoryCount && i < 16 && optional.Remaining() >= 8; ++i) {
    DataDirectory directory;
    directory.VirtualAddress = optional.U32();
    directory.Size = optional.U32();
    directories_.push_back(directory);
  }

  // The string table follows the symbol table; its first 32-bit value is its size, the four
  // size bytes included. Files without symbols have none.
  ByteSpan strings;
  if (symbolTable != 0) {
    uint64_t tableOffset = uint64_t{symbolTable} + uint64_t{symbolCount} * kCoffSymbolSize;
    ByteReader size(file.From(tableOffset, "COFF string table"), "COFF string table");
    uint32_t tableSize = size.U32();
    if (tableSize < 4) size.Fail("size below 4");
    strings = file.Sub(tableOffset, tableSize, "COFF string table");
  }

  ByteSpan table = header.Take(uint64_t{sectionCount} * kSectionHeaderSize);
  ByteReader sections(table, "PE section table");
  sections_.reserve(sectionCount);
  for (uint16_t i = 0; i < sectionCount; ++i) {
    PeSection section;
    ByteSpan nameField = sections.Take(8);
    size_t nameLength = 0;
    while (nameLength < 8 && nameField.Data[nameLength] != 0) ++nameLength;
    section.Name.assign(reinterpret_cast<const char*>(nameField.Data), nameLength);
    section.VirtualSize = sections.U32();
    section.VirtualAddress = sections.U32();
    section.RawSize = sections.U32();
    section.RawOffset = sections.U32();
    sections.Skip(12);  // relocations, line numbers and their counts
    section.Characteristics = sections.U32();
    if (!section.Name.empty() && section.Name[0] == '/') {
      if (strings.Empty()) {
        throw EDebugFormatError("PE section name '" + section.Name +
                                "' refers to a missing COFF string table");
      }
      section.Name = StringAt(strings, LongNameOffset(section.Name), "COFF string table");
    }
    // A section's raw data must lie inside the file (uninitialised data has none).
    if (section.RawSize != 0) file.Sub(section.RawOffset, section.RawSize, "PE section data");
    sections_.push_back(std::move(section));
  }
}

PeImage PeImage::Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EDebugFormatError("cannot open '" + path + "'");
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  if (in.bad()) throw EDebugFormatError("cannot read '" + path + "'");
  return PeImage(std::move(bytes));
}

const PeSection* PeImage::Find(const std::string& name) const {
  for (const PeSection& section : sections_) {
    if (section.Name == name) return &section;
  }
  return nullptr;
}

ByteSpan PeImage::Data(const PeSection& section) const {
  uint32_t size = section.RawSize;
  if (section.VirtualSize != 0 && section.VirtualSize < size) size = section.VirtualSize;
  if (size == 0) return ByteSpan{};
  ByteSpan file{bytes_.data(), bytes_.size()};
  return file.Sub(section.RawOffset, size, "PE section data");
}

ByteSpan PeImage::Data(const std::string& name) const {
  const PeSection* section = Find(name);
  return section ? Data(*section) : ByteSpan{};
}

const PeSection* PeImage::CodeSectionAt(uint64_t rva) const {
  for (const PeSection& section : sections_) {
    uint32_t size = section.VirtualSize != 0 ? section.VirtualSize : section.RawSize;
    if (section.IsCode() && rva >= section.VirtualAddress && rva - section.VirtualAddress < size) {
      return &section;
    }
  }
  return nullptr;
}

DataDirectory PeImage::Directory(size_t index) const {
  return index < directories_.size() ? directories_[index] : DataDirectory{};
}

bool PeImage::FileOffsetOf(uint32_t rva, uint32_t length, uint32_t& offset) const {
  for (const PeSection& section : sections_) {
    if (rva < section.VirtualAddress) continue;
    uint64_t within = uint64_t{rva} - section.VirtualAddress;
    if (within + length > section.RawSize) continue;
    offset = static_cast<uint32_t>(section.RawOffset + within);
    return offset + uint64_t{length} <= bytes_.size();
  }
  return false;
}

}  // namespace vl::tools
