// Test support: PE images made in memory for the readers of headers, exports and imports. The
// image starts with the DOS header (the PE header at 0x80), the file header and an optional
// header of either width with 16 empty data directories; a test adds sections, an export
// directory and its own bytes, and damages any field through Put16/Put32.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace testsupport {

class TPeImage {
 public:
  static constexpr size_t kPe = 0x80;            // the signature "PE\0\0"
  static constexpr size_t kOptional = kPe + 24;  // the optional header

  std::vector<uint8_t> Bytes;

  // FileSize zeroed bytes holding the headers of an image of ImageSize bytes (SizeOfImage),
  // 64-bit when Wide.
  TPeImage(bool wide, size_t fileSize, uint32_t imageSize) : Bytes(fileSize, 0), wide_(wide) {
    Put16(0, 0x5A4D);
    Put32(0x3C, kPe);
    Put32(kPe, 0x4550);
    Put16(kPe + 4, wide ? 0x8664 : 0x14C);
    Put16(kPe + 20, OptionalSize());
    Put16(kOptional, wide ? 0x20B : 0x10B);
    Put32(kOptional + 56, imageSize);
    Put32(CountOffset(), 16);
  }

  bool Wide() const { return wide_; }
  uint16_t OptionalSize() const { return wide_ ? 240 : 224; }
  // The offset of NumberOfRvaAndSizes; the directories follow it.
  size_t CountOffset() const { return kOptional + (wide_ ? 108 : 92); }

  void Directory(unsigned index, uint32_t rva, uint32_t size) {
    Put32(CountOffset() + 4 + 8 * index, rva);
    Put32(CountOffset() + 8 + 8 * index, size);
  }
  // BaseOfCode and SizeOfCode.
  void Code(uint32_t base, uint32_t size) {
    Put32(kOptional + 20, base);
    Put32(kOptional + 4, size);
  }
  // Section-table entry Index (NumberOfSections grows to hold it): 0x200 bytes at Rva in the
  // image and at Raw in the file.
  void Section(unsigned index, const char* name, uint32_t rva, uint32_t raw, uint32_t flags) {
    const size_t at = kOptional + OptionalSize() + 40 * index;
    std::memcpy(&Bytes[at], name, std::strlen(name));
    Put32(at + 8, 0x200);
    Put32(at + 12, rva);
    Put32(at + 16, 0x200);
    Put32(at + 20, raw);
    Put32(at + 36, flags);
    if (Get16(kPe + 6) <= index) Put16(kPe + 6, static_cast<uint16_t>(index + 1));
  }
  // An export directory of 0x100 bytes at Rva (image and file alike): the function table
  // (Functions) at Rva + 0x40, the name table at + 0x60, the ordinals at + 0x70 and the names,
  // each paired with its function's index, from + 0x80 on, 16 bytes apart.
  void Exports(uint32_t rva, const std::vector<uint32_t>& functions,
               const std::vector<std::pair<const char*, uint16_t>>& names) {
    Directory(0, rva, 0x100);
    Put32(rva + 20, static_cast<uint32_t>(functions.size()));
    Put32(rva + 24, static_cast<uint32_t>(names.size()));
    Put32(rva + 28, rva + 0x40);
    Put32(rva + 32, rva + 0x60);
    Put32(rva + 36, rva + 0x70);
    for (size_t i = 0; i < functions.size(); ++i) Put32(rva + 0x40 + 4 * i, functions[i]);
    for (size_t i = 0; i < names.size(); ++i) {
      const uint32_t name = static_cast<uint32_t>(rva + 0x80 + 16 * i);
      Put32(rva + 0x60 + 4 * i, name);
      Put16(rva + 0x70 + 2 * i, names[i].second);
      std::strcpy(reinterpret_cast<char*>(&Bytes[name]), names[i].first);
    }
  }

  uint16_t Get16(size_t at) const {
    uint16_t v;
    std::memcpy(&v, &Bytes[at], 2);
    return v;
  }
  void Put16(size_t at, uint16_t v) { std::memcpy(&Bytes[at], &v, 2); }
  void Put32(size_t at, uint32_t v) { std::memcpy(&Bytes[at], &v, 4); }

 private:
  bool wide_;
};

}  // namespace testsupport
