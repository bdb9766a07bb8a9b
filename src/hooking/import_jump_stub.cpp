#include "hooking/import_jump_stub.h"

#include <cstring>

namespace vl::hooking {

bool DecodeImportJumpStub(const uint8_t* bytes, uint64_t address, TCpuMode mode,
                          uint64_t& slotAddress) {
  if (bytes[0] != 0xFF || bytes[1] != 0x25) return false;
  bool filler = (bytes[6] == 0x8B && bytes[7] == 0xC0) || (bytes[6] == 0x90 && bytes[7] == 0x90);
  if (!filler) return false;
  uint32_t operand;
  std::memcpy(&operand, bytes + 2, 4);
  if (mode == TCpuMode::cmX86) {
    slotAddress = operand;
  } else {
    slotAddress =
        address + 6 + static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(operand)));
  }
  return true;
}

}  // namespace vl::hooking
