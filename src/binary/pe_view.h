// The one reader of PE headers (PE32 and PE32+, told apart by the optional header's magic),
// over the bytes of a file or over a module image as the loader maps it. It checks every offset
// against the bytes it is given, never raises and never allocates, so it may run while a crash
// is handled. The import walker of the hooking engine, the export reader of the debug
// information, the module-type test and the post-build tool's PE reader all start here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "binary/byte_reader.h"

namespace vl::binary {

// How the bytes are laid out: as the file on disk (an RVA is found through the section table)
// or as the loader maps the image (an RVA is an offset from the image's start).
enum class TImageForm : uint8_t { ifFile, ifMapped };

// Indexes of the data directories the program reads.
inline constexpr unsigned kExportDirectory = 0;
inline constexpr unsigned kImportDirectory = 1;
inline constexpr unsigned kResourceDirectory = 2;
inline constexpr unsigned kDelayImportDirectory = 13;

inline constexpr uint16_t kPe32Magic = 0x10B;
inline constexpr uint16_t kPe32PlusMagic = 0x20B;
inline constexpr uint16_t kFileIsDll = 0x2000;

struct TPeDirectory {
  uint32_t Rva = 0;
  uint32_t Size = 0;

  bool Present() const { return Rva != 0; }
  // True when Rva lies inside the directory (an export address there is a forwarder string).
  bool Contains(uint64_t rva) const { return rva >= Rva && rva - Rva < Size; }
};

struct TPeSection {
  char RawName[8] = {};  // as stored: NUL-padded, "/123" for a name in the COFF string table
  uint32_t VirtualSize = 0;
  uint32_t VirtualAddress = 0;  // relative to the image base
  uint32_t RawSize = 0;
  uint32_t RawOffset = 0;  // file offset of the raw data
  uint32_t Characteristics = 0;

  // Code, or executable.
  bool IsCode() const { return (Characteristics & (0x00000020u | 0x20000000u)) != 0; }
};

class TPeView {
 public:
  TPeView() = default;
  TPeView(TByteSpan bytes, TImageForm form);
  TPeView(const uint8_t* data, size_t size, TImageForm form)
      : TPeView(TByteSpan{data, size}, form) {}

  // False when the bytes do not start with the headers of a PE image; Failure() says why
  // ("no MZ header", "no PE header", "unknown optional header", ...).
  bool Ok() const { return failure_ == nullptr; }
  const char* Failure() const { return failure_ ? failure_ : ""; }

  TByteSpan Bytes() const { return bytes_; }
  TImageForm Form() const { return form_; }
  bool Is64() const { return is64_; }
  unsigned PointerSize() const { return is64_ ? 8 : 4; }
  uint16_t Machine() const { return machine_; }
  uint16_t Characteristics() const { return characteristics_; }
  bool IsDll() const { return (characteristics_ & kFileIsDll) != 0; }
  uint32_t SymbolTable() const { return symbolTable_; }
  uint32_t SymbolCount() const { return symbolCount_; }
  uint32_t SizeOfCode() const { return sizeOfCode_; }
  uint32_t EntryPoint() const { return entryPoint_; }
  uint32_t BaseOfCode() const { return baseOfCode_; }
  uint64_t ImageBase() const { return imageBase_; }
  uint32_t SizeOfImage() const { return sizeOfImage_; }

  // Data directories that the optional header has room for (at most 16); a missing one is
  // empty.
  uint32_t DirectoryCount() const { return directoryCount_; }
  TPeDirectory Directory(unsigned index) const;

  // Sections: the table follows the optional header; Section is false for an entry that lies
  // outside the bytes.
  uint16_t SectionCount() const { return sectionCount_; }
  uint64_t SectionTableOffset() const { return sectionTable_; }
  bool Section(unsigned index, TPeSection& section) const;

  // Where Length bytes at Rva lie in the bytes: the RVA itself in a mapped image; in a file,
  // inside the raw data of the section that holds them. False when they are not all there.
  bool Locate(uint64_t rva, uint64_t length, uint64_t& offset) const;
  // Values at an RVA (see Locate).
  bool U16At(uint64_t rva, uint16_t& value) const;
  bool U32At(uint64_t rva, uint32_t& value) const;

 private:
  bool Refuse(const char* why) {
    failure_ = why;
    return false;
  }
  bool Parse();

  TByteSpan bytes_;
  TImageForm form_ = TImageForm::ifMapped;
  const char* failure_ = "no bytes";
  bool is64_ = false;
  uint16_t machine_ = 0;
  uint16_t characteristics_ = 0;
  uint16_t sectionCount_ = 0;
  uint32_t symbolTable_ = 0;
  uint32_t symbolCount_ = 0;
  uint32_t sizeOfCode_ = 0;
  uint32_t entryPoint_ = 0;
  uint32_t baseOfCode_ = 0;
  uint64_t imageBase_ = 0;
  uint32_t sizeOfImage_ = 0;
  uint32_t directoryCount_ = 0;
  uint64_t directories_ = 0;  // offset of the data directories in the bytes
  uint64_t sectionTable_ = 0;
};

}  // namespace vl::binary
