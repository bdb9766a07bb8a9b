#include "hooking/pe_imports.h"

#include "binary/pe_view.h"

namespace vl::hooking {

namespace {

constexpr uint32_t kMaxDescriptors = 4096;
constexpr uint32_t kMaxSlotsPerDescriptor = 65536;
constexpr size_t kMaxSlots = 1u << 20;

// True when the slot holds zero (the end of a table) or cannot be read.
bool SlotIsZero(binary::TByteSpan image, uint64_t offset, unsigned pointerSize) {
  if (!image.Holds(offset, pointerSize)) return true;
  for (unsigned i = 0; i < pointerSize; ++i) {
    if (image.Data[offset + i] != 0) return false;
  }
  return true;
}

// Adds the slots of one import-address table; false when the table runs out of the image.
bool AddTable(binary::TByteSpan image, uint32_t tableRva, unsigned pointerSize,
              std::vector<uint32_t>& slots) {
  for (uint32_t k = 0; k < kMaxSlotsPerDescriptor; ++k) {
    uint64_t offset = uint64_t{tableRva} + uint64_t{k} * pointerSize;
    if (!image.Holds(offset, pointerSize)) return false;
    if (SlotIsZero(image, offset, pointerSize)) return true;
    if (slots.size() >= kMaxSlots) return false;
    slots.push_back(static_cast<uint32_t>(offset));
  }
  return true;
}

}  // namespace

uint32_t DeclaredImageSize(const uint8_t* image, size_t available) {
  binary::TPeView view(image, available, binary::TImageForm::ifMapped);
  return view.Ok() ? view.SizeOfImage() : 0;
}

TImportSlots FindImportSlots(const uint8_t* image, size_t imageSize) {
  TImportSlots result;
  binary::TPeView view(image, imageSize, binary::TImageForm::ifMapped);
  if (!view.Ok()) {
    result.Reason = view.Failure();
    return result;
  }
  const binary::TByteSpan bytes = view.Bytes();
  result.PointerSize = view.PointerSize();

  if (binary::TPeDirectory imports = view.Directory(binary::kImportDirectory); imports.Present()) {
    for (uint32_t i = 0; i < kMaxDescriptors; ++i) {
      uint64_t d = uint64_t{imports.Rva} + uint64_t{i} * 20;
      uint32_t name, firstThunk;
      if (!bytes.U32At(d + 12, name) || !bytes.U32At(d + 16, firstThunk)) {
        result.Reason = "import directory runs out of the image";
        return result;
      }
      if (name == 0 && firstThunk == 0) break;
      if (firstThunk != 0 && !AddTable(bytes, firstThunk, result.PointerSize, result.SlotOffsets)) {
        result.Reason = "import address table runs out of the image";
        return result;
      }
    }
  }
  if (binary::TPeDirectory delayed = view.Directory(binary::kDelayImportDirectory);
      delayed.Present()) {
    for (uint32_t i = 0; i < kMaxDescriptors; ++i) {
      uint64_t d = uint64_t{delayed.Rva} + uint64_t{i} * 32;
      uint32_t attributes, name, table;
      if (!bytes.U32At(d, attributes) || !bytes.U32At(d + 4, name) || !bytes.U32At(d + 12, table)) {
        result.Reason = "delay-load import directory runs out of the image";
        return result;
      }
      if (name == 0) break;
      // Descriptors of the old form hold addresses instead of offsets: not followed.
      if ((attributes & 1) == 0 || table == 0) continue;
      if (!AddTable(bytes, table, result.PointerSize, result.SlotOffsets)) {
        result.Reason = "delay-load address table runs out of the image";
        return result;
      }
    }
  }
  result.Ok = true;
  return result;
}

}  // namespace vl::hooking
