#include "tools/pe_image.h"

#include <fstream>
#include <iterator>

#include "binary/pe_view.h"

namespace vl::tools {

namespace {

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
  binary::TPeView view(file, binary::TImageForm::ifFile);
  if (!view.Ok()) throw EDebugFormatError(std::string("PE file: ") + view.Failure());
  is64_ = view.Is64();
  imageBase_ = view.ImageBase();
  entryPoint_ = view.EntryPoint();
  sizeOfImage_ = view.SizeOfImage();
  for (uint32_t i = 0; i < view.DirectoryCount(); ++i) {
    binary::TPeDirectory directory = view.Directory(i);
    directories_.push_back(DataDirectory{directory.Rva, directory.Size});
  }

  // The string table follows the symbol table; its first 32-bit value is its size, the four
  // size bytes included. Files without symbols have none.
  ByteSpan strings;
  if (view.SymbolTable() != 0) {
    uint64_t tableOffset =
        uint64_t{view.SymbolTable()} + uint64_t{view.SymbolCount()} * kCoffSymbolSize;
    ByteReader size(SpanFrom(file, tableOffset, "COFF string table"), "COFF string table");
    uint32_t tableSize = size.U32();
    if (tableSize < 4) size.Fail("size below 4");
    strings = SubSpan(file, tableOffset, tableSize, "COFF string table");
  }

  SubSpan(file, view.SectionTableOffset(), uint64_t{view.SectionCount()} * kSectionHeaderSize,
          "PE section table");
  sections_.reserve(view.SectionCount());
  for (uint16_t i = 0; i < view.SectionCount(); ++i) {
    binary::TPeSection entry;
    if (!view.Section(i, entry)) throw EDebugFormatError("PE section table is cut off");
    PeSection section;
    size_t nameLength = 0;
    while (nameLength < 8 && entry.RawName[nameLength] != 0) ++nameLength;
    section.Name.assign(entry.RawName, nameLength);
    section.VirtualSize = entry.VirtualSize;
    section.VirtualAddress = entry.VirtualAddress;
    section.RawSize = entry.RawSize;
    section.RawOffset = entry.RawOffset;
    section.Characteristics = entry.Characteristics;
    if (!section.Name.empty() && section.Name[0] == '/') {
      if (strings.Empty()) {
        throw EDebugFormatError("PE section name '" + section.Name +
                                "' refers to a missing COFF string table");
      }
      section.Name = StringAt(strings, LongNameOffset(section.Name), "COFF string table");
    }
    // A section's raw data must lie inside the file (uninitialised data has none).
    if (section.RawSize != 0) SubSpan(file, section.RawOffset, section.RawSize, "PE section data");
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
  return SubSpan(file, section.RawOffset, size, "PE section data");
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
  binary::TPeView view(bytes_.data(), bytes_.size(), binary::TImageForm::ifFile);
  uint64_t at;
  if (!view.Locate(rva, length, at)) return false;
  offset = static_cast<uint32_t>(at);
  return true;
}

}  // namespace vl::tools
