#include "binary/pe_view.h"

namespace vl::binary {

namespace {

constexpr uint16_t kMzSignature = 0x5A4D;
constexpr uint32_t kPeSignature = 0x00004550;
constexpr uint64_t kSectionHeaderSize = 40;
constexpr uint32_t kMaxDirectories = 16;

}  // namespace

TPeView::TPeView(TByteSpan bytes, TImageForm form) : bytes_(bytes), form_(form) {
  if (bytes_.Data == nullptr) bytes_.Size = 0;
  failure_ = nullptr;
  Parse();
}

bool TPeView::Parse() {
  uint16_t mz = 0;
  if (!bytes_.U16At(0, mz) || mz != kMzSignature) return Refuse("no MZ header");
  uint32_t peOffset;
  if (!bytes_.U32At(0x3C, peOffset)) return Refuse("no PE header offset");
  uint32_t signature;
  if (!bytes_.U32At(peOffset, signature) || signature != kPeSignature)
    return Refuse("no PE header");

  // The file header: machine, section count, time stamp, symbol table and count, optional
  // header size, characteristics.
  TByteReader file(bytes_);
  uint16_t optionalSize;
  if (!file.Seek(uint64_t{peOffset} + 4) || !file.ReadU16(machine_) ||
      !file.ReadU16(sectionCount_) || !file.Skip(4) || !file.ReadU32(symbolTable_) ||
      !file.ReadU32(symbolCount_) || !file.ReadU16(optionalSize) ||
      !file.ReadU16(characteristics_)) {
    return Refuse("no file header");
  }
  const uint64_t optional = uint64_t{peOffset} + 24;
  uint16_t magic;
  if (!bytes_.U16At(optional, magic)) return Refuse("no optional header");
  uint32_t countOffset;
  if (magic == kPe32Magic) {
    is64_ = false;
    countOffset = 92;
  } else if (magic == kPe32PlusMagic) {
    is64_ = true;
    countOffset = 108;
  } else {
    return Refuse("unknown optional header");
  }
  // Every field read here lies before the directory count; the header must hold it.
  uint32_t count, base32 = 0;
  if (optionalSize < countOffset + 4 || !bytes_.Holds(optional, countOffset + 4) ||
      !bytes_.U32At(optional + 4, sizeOfCode_) || !bytes_.U32At(optional + 16, entryPoint_) ||
      !bytes_.U32At(optional + 20, baseOfCode_) || !bytes_.U32At(optional + 56, sizeOfImage_) ||
      !bytes_.U32At(optional + countOffset, count)) {
    return Refuse("optional header too short");
  }
  if (is64_) {
    TByteReader base(bytes_);
    base.Seek(optional + 24);
    base.ReadU64(imageBase_);
  } else {
    bytes_.U32At(optional + 28, base32);
    imageBase_ = base32;
  }
  const uint32_t room = (optionalSize - countOffset - 4) / 8;
  directoryCount_ = count < room ? count : room;
  if (directoryCount_ > kMaxDirectories) directoryCount_ = kMaxDirectories;
  directories_ = optional + countOffset + 4;
  sectionTable_ = optional + optionalSize;
  return true;
}

TPeDirectory TPeView::Directory(unsigned index) const {
  TPeDirectory directory;
  if (!Ok() || index >= directoryCount_) return directory;
  const uint64_t at = directories_ + 8 * uint64_t{index};
  if (!bytes_.U32At(at, directory.Rva) || !bytes_.U32At(at + 4, directory.Size))
    return TPeDirectory();
  return directory;
}

bool TPeView::Section(unsigned index, TPeSection& section) const {
  if (!Ok() || index >= sectionCount_) return false;
  TByteReader entry(bytes_);
  const uint8_t* name;
  if (!entry.Seek(sectionTable_ + kSectionHeaderSize * index) || !entry.Take(8, name)) return false;
  TPeSection read;
  for (unsigned i = 0; i < 8; ++i) read.RawName[i] = static_cast<char>(name[i]);
  if (!entry.ReadU32(read.VirtualSize) || !entry.ReadU32(read.VirtualAddress) ||
      !entry.ReadU32(read.RawSize) || !entry.ReadU32(read.RawOffset) ||
      !entry.Skip(12) ||  // relocations, line numbers and their counts
      !entry.ReadU32(read.Characteristics)) {
    return false;
  }
  section = read;
  return true;
}

bool TPeView::Locate(uint64_t rva, uint64_t length, uint64_t& offset) const {
  if (!Ok()) return false;
  if (form_ == TImageForm::ifMapped) {
    if (!bytes_.Holds(rva, length)) return false;
    offset = rva;
    return true;
  }
  for (unsigned i = 0; i < sectionCount_; ++i) {
    TPeSection section;
    if (!Section(i, section)) break;
    if (rva < section.VirtualAddress) continue;
    const uint64_t within = rva - section.VirtualAddress;
    if (within > section.RawSize || length > section.RawSize - within) continue;
    const uint64_t at = uint64_t{section.RawOffset} + within;
    if (!bytes_.Holds(at, length)) return false;
    offset = at;
    return true;
  }
  return false;
}

bool TPeView::U16At(uint64_t rva, uint16_t& value) const {
  uint64_t offset;
  return Locate(rva, 2, offset) && bytes_.U16At(offset, value);
}

bool TPeView::U32At(uint64_t rva, uint32_t& value) const {
  uint64_t offset;
  return Locate(rva, 4, offset) && bytes_.U32At(offset, value);
}

}  // namespace vl::binary
