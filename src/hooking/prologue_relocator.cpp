#include "hooking/prologue_relocator.h"

#include <cstring>

namespace vl::hooking {

namespace {

int32_t ReadInt32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return static_cast<int32_t>(v);
}

void WriteInt32(uint8_t* p, int64_t value) {
  uint32_t v = static_cast<uint32_t>(value);
  std::memcpy(p, &v, 4);
}

// Destination of a rel32 operand of an instruction that ends at End. In 32-bit mode addresses
// wrap at 4 GB.
uint64_t RelTarget(uint64_t end, int32_t rel, TCpuMode mode) {
  uint64_t target = end + static_cast<uint64_t>(static_cast<int64_t>(rel));
  return mode == TCpuMode::cmX86 ? (target & 0xFFFFFFFFu) : target;
}

TRelocatedPrologue Refuse(const std::string& reason) {
  TRelocatedPrologue r;
  r.Reason = reason;
  return r;
}

std::string At(size_t offset) { return " at offset " + std::to_string(offset); }

}  // namespace

bool Rel32Reaches(uint64_t from, uint64_t to, TCpuMode mode) {
  if (mode == TCpuMode::cmX86) return true;
  int64_t distance = static_cast<int64_t>(to - from);
  return distance >= INT32_MIN && distance <= INT32_MAX;
}

std::vector<uint8_t> EncodeJump(uint64_t from, uint64_t to, TCpuMode mode) {
  std::vector<uint8_t> out;
  if (Rel32Reaches(from + 5, to, mode)) {
    out.resize(5);
    out[0] = 0xE9;
    WriteInt32(&out[1], static_cast<int64_t>(to - (from + 5)));
    return out;
  }
  out = {0xFF, 0x25, 0, 0, 0, 0};
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(to >> (8 * i)));
  return out;
}

TRelocatedPrologue RelocatePrologue(const uint8_t* code, size_t available, uint64_t source,
                                    uint64_t destination, TCpuMode mode) {
  using K = TInstructionKind;
  TRelocatedPrologue result;
  bool endsInTransfer = false;
  size_t offset = 0;
  while (offset < PatchLength) {
    TInstruction ins;
    if (!DecodeInstruction(code + offset, available - offset, mode, ins)) {
      return Refuse("unknown instruction" + At(offset));
    }
    const uint8_t* bytes = code + offset;
    uint64_t sourceEnd = source + offset + ins.Length;
    uint64_t destEnd = destination + result.Code.size() + ins.Length;
    size_t first = result.Code.size();
    result.Code.insert(result.Code.end(), bytes, bytes + ins.Length);
    uint8_t* copy = result.Code.data() + first;
    switch (ins.Kind) {
      case K::ikShortBranch:
        return Refuse("short branch" + At(offset));
      case K::ikUnmovable:
        return Refuse("unmovable instruction" + At(offset));
      case K::ikCallRel32:
      case K::ikJmpRel32:
      case K::ikJccRel32: {
        uint64_t target = RelTarget(sourceEnd, ReadInt32(bytes + ins.RelOffset), mode);
        if (target > source && target < source + PatchLength) {
          return Refuse("branch into the patched bytes" + At(offset));
        }
        if (!Rel32Reaches(destEnd, target, mode)) {
          return Refuse("branch out of reach" + At(offset));
        }
        WriteInt32(copy + ins.RelOffset, static_cast<int64_t>(target - destEnd));
        break;
      }
      default:
        break;
    }
    if (ins.RipDispOffset != 0) {
      uint64_t target = sourceEnd + static_cast<uint64_t>(
                                        static_cast<int64_t>(ReadInt32(bytes + ins.RipDispOffset)));
      if (!Rel32Reaches(destEnd, target, mode)) {
        return Refuse("RIP-relative operand out of reach" + At(offset));
      }
      WriteInt32(copy + ins.RipDispOffset, static_cast<int64_t>(target - destEnd));
    }
    offset += ins.Length;
    if (ins.Kind == K::ikReturn || ins.Kind == K::ikJmpRel32 || ins.Kind == K::ikJmpIndirect) {
      // The routine goes no further here: the bytes after this instruction may belong to
      // something else, so the patch must fit before it ends.
      if (offset < PatchLength) return Refuse("routine shorter than the patch");
      endsInTransfer = true;
    }
  }
  if (!endsInTransfer) {
    uint64_t from = destination + result.Code.size();
    std::vector<uint8_t> back = EncodeJump(from, source + offset, mode);
    result.Code.insert(result.Code.end(), back.begin(), back.end());
  }
  result.SourceLength = offset;
  result.Ok = true;
  return result;
}

}  // namespace vl::hooking
