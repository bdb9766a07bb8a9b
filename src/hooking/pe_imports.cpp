#include "hooking/pe_imports.h"

#include <cstring>

namespace hooking {

namespace {

constexpr uint32_t kMaxDescriptors = 4096;
constexpr uint32_t kMaxSlotsPerDescriptor = 65536;
constexpr size_t kMaxSlots = 1u << 20;

constexpr unsigned kImportDirectory = 1;
constexpr unsigned kDelayImportDirectory = 13;

class TImageReader {
 public:
  TImageReader(const uint8_t* image, size_t size) : image_(image), size_(size) {}
  bool Fits(uint64_t offset, uint64_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }
  bool U16(uint64_t offset, uint32_t& out) const {
    if (!Fits(offset, 2)) return false;
    uint16_t v;
    std::memcpy(&v, image_ + offset, 2);
    out = v;
    return true;
  }
  bool U32(uint64_t offset, uint32_t& out) const {
    if (!Fits(offset, 4)) return false;
    std::memcpy(&out, image_ + offset, 4);
    return true;
  }
  // True when the slot holds zero (the end of a table) or cannot be read.
  bool SlotIsZero(uint64_t offset, unsigned pointerSize) const {
    if (!Fits(offset, pointerSize)) return true;
    for (unsigned i = 0; i < pointerSize; ++i) {
      if (image_[offset + i] != 0) return false;
    }
    return true;
  }

 private:
  const uint8_t* image_;
  size_t size_;
};

struct THeaders {
  uint32_t optionalHeader = 0;  // offset of the optional header
  uint32_t optionalSize = 0;
  unsigned pointerSize = 0;
  uint32_t directories = 0;  // offset of the data directories
  uint32_t directoryCount = 0;
  uint32_t sizeOfImage = 0;
};

bool Fail(std::string& reason, const char* text) {
  reason = text;
  return false;
}

bool ReadHeaders(const TImageReader& r, THeaders& h, std::string& reason) {
  uint32_t mz, lfanew, signature, magic;
  if (!r.U16(0, mz) || mz != 0x5A4D) return Fail(reason, "no MZ header");
  if (!r.U32(0x3C, lfanew)) return Fail(reason, "no PE header offset");
  if (!r.U32(lfanew, signature) || signature != 0x00004550) return Fail(reason, "no PE header");
  if (!r.U16(uint64_t{lfanew} + 20, h.optionalSize)) return Fail(reason, "no file header");
  h.optionalHeader = lfanew + 24;
  if (!r.U16(h.optionalHeader, magic)) return Fail(reason, "no optional header");
  uint32_t countOffset;
  if (magic == 0x10B) {
    h.pointerSize = 4;
    countOffset = 92;
  } else if (magic == 0x20B) {
    h.pointerSize = 8;
    countOffset = 108;
  } else {
    return Fail(reason, "unknown optional header");
  }
  if (h.optionalSize < countOffset + 4 ||
      !r.U32(uint64_t{h.optionalHeader} + countOffset, h.directoryCount) ||
      !r.U32(uint64_t{h.optionalHeader} + 56, h.sizeOfImage)) {
    return Fail(reason, "optional header too short");
  }
  h.directories = h.optionalHeader + countOffset + 4;
  uint32_t room = (h.optionalSize - countOffset - 4) / 8;
  if (h.directoryCount > room) h.directoryCount = room;
  return true;
}

bool Directory(const TImageReader& r, const THeaders& h, unsigned index, uint32_t& rva) {
  rva = 0;
  if (index >= h.directoryCount) return false;
  return r.U32(uint64_t{h.directories} + 8 * index, rva) && rva != 0;
}

// Adds the slots of one import-address table; false when the table runs out of the image.
bool AddTable(const TImageReader& r, uint32_t tableRva, unsigned pointerSize,
              std::vector<uint32_t>& slots) {
  for (uint32_t k = 0; k < kMaxSlotsPerDescriptor; ++k) {
    uint64_t offset = uint64_t{tableRva} + uint64_t{k} * pointerSize;
    if (!r.Fits(offset, pointerSize)) return false;
    if (r.SlotIsZero(offset, pointerSize)) return true;
    if (slots.size() >= kMaxSlots) return false;
    slots.push_back(static_cast<uint32_t>(offset));
  }
  return true;
}

}  // namespace

uint32_t DeclaredImageSize(const uint8_t* image, size_t available) {
  TImageReader r(image, available);
  THeaders h;
  std::string reason;
  return ReadHeaders(r, h, reason) ? h.sizeOfImage : 0;
}

TImportSlots FindImportSlots(const uint8_t* image, size_t imageSize) {
  TImportSlots result;
  TImageReader r(image, imageSize);
  THeaders h;
  if (!ReadHeaders(r, h, result.Reason)) return result;
  result.PointerSize = h.pointerSize;

  uint32_t rva;
  if (Directory(r, h, kImportDirectory, rva)) {
    for (uint32_t i = 0; i < kMaxDescriptors; ++i) {
      uint64_t d = uint64_t{rva} + uint64_t{i} * 20;
      uint32_t name, firstThunk;
      if (!r.U32(d + 12, name) || !r.U32(d + 16, firstThunk)) {
        result.Reason = "import directory runs out of the image";
        return result;
      }
      if (name == 0 && firstThunk == 0) break;
      if (firstThunk != 0 && !AddTable(r, firstThunk, h.pointerSize, result.SlotOffsets)) {
        result.Reason = "import address table runs out of the image";
        return result;
      }
    }
  }
  if (Directory(r, h, kDelayImportDirectory, rva)) {
    for (uint32_t i = 0; i < kMaxDescriptors; ++i) {
      uint64_t d = uint64_t{rva} + uint64_t{i} * 32;
      uint32_t attributes, name, table;
      if (!r.U32(d, attributes) || !r.U32(d + 4, name) || !r.U32(d + 12, table)) {
        result.Reason = "delay-load import directory runs out of the image";
        return result;
      }
      if (name == 0) break;
      // Descriptors of the old form hold addresses instead of offsets: not followed.
      if ((attributes & 1) == 0 || table == 0) continue;
      if (!AddTable(r, table, h.pointerSize, result.SlotOffsets)) {
        result.Reason = "delay-load address table runs out of the image";
        return result;
      }
    }
  }
  result.Ok = true;
  return result;
}

}  // namespace hooking
