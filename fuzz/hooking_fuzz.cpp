// libFuzzer target for the hooking engine's byte work: instruction decoding, moving a prologue,
// the import jump stub rule and the import-table walker, in both processor modes.
// The first input byte chooses the mode and the distance between routine and trampoline.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "hooking/import_jump_stub.h"
#include "hooking/pe_imports.h"
#include "hooking/prologue_relocator.h"
#include "hooking/x86_decoder.h"

using namespace vl;

using namespace hooking;

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void FuzzPrologue(const uint8_t* data, size_t size, uint8_t control) {
  const TCpuMode mode = (control & 1) ? TCpuMode::cmX64 : TCpuMode::cmX86;
  for (size_t offset = 0; offset < size;) {
    TInstruction ins;
    if (!DecodeInstruction(data + offset, size - offset, mode, ins)) break;
    Check(ins.Length >= 1 && ins.Length <= 15 && ins.Length <= size - offset);
    Check(ins.RelOffset == 0 || ins.RelOffset + 4u <= ins.Length);
    Check(ins.RipDispOffset == 0 || ins.RipDispOffset + 4u <= ins.Length);
    offset += ins.Length;
  }

  const uint64_t source = mode == TCpuMode::cmX64 ? 0x7FF612340000ull : 0x00401000u;
  const uint64_t distances[] = {0x1000, 0x7FFF0000ull, 0x180000000ull, 0};
  const uint64_t destination = source - distances[(control >> 1) & 3];
  TRelocatedPrologue moved = RelocatePrologue(data, size, source, destination, mode);
  if (!moved.Ok) {
    Check(!moved.Reason.empty());
    return;
  }
  Check(moved.SourceLength >= PatchLength && moved.SourceLength <= size);
  Check(moved.Code.size() <= MaxTrampolineLength);
  // The moved instructions decode to the same lengths as the originals.
  size_t from = 0, to = 0;
  while (from < moved.SourceLength) {
    TInstruction a, b;
    Check(DecodeInstruction(data + from, size - from, mode, a));
    Check(DecodeInstruction(moved.Code.data() + to, moved.Code.size() - to, mode, b));
    Check(a.Length == b.Length && a.Kind == b.Kind);
    from += a.Length;
    to += b.Length;
  }
  Check(from == moved.SourceLength);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t control = data[0];
  ++data;
  --size;
  FuzzPrologue(data, size, control);

  if (size >= ImportJumpStubLength) {
    uint64_t slot = 0;
    DecodeImportJumpStub(data, 0x401000, (control & 1) ? TCpuMode::cmX64 : TCpuMode::cmX86, slot);
  }

  TImportSlots slots = FindImportSlots(data, size);
  if (slots.Ok) {
    for (uint32_t offset : slots.SlotOffsets) {
      Check(uint64_t{offset} + slots.PointerSize <= size);
    }
  }
  DeclaredImageSize(data, size);
  return 0;
}
