// The report's CPU block: eight registers of the faulting thread, then a side-by-side dump of
// 16 pointer-size stack slots (left) and the 256 code bytes at the exception address (right).
//
// The 32-bit program prints EAX, EDI, EBX, ESI, ECX, ESP, EDX, EIP and every address and stack
// slot with 8 hexadecimal digits; its x86-64 twin prints RAX, RDI, RBX, RSI, RCX, RSP, RDX, RIP
// with 16, and the dump's left column, its header and its dashes grow to match.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/module_options.h"

namespace vl::report {

struct TCpuFacts {
  int PointerSize = 4;  // 4 (i686) or 8 (x86-64)
  bool HasContext = false;
  // In print order: AX, DI, BX, SI, CX, SP, DX, IP.
  std::array<uint64_t, 8> Registers{};
  uint64_t StackPointer = 0;
  uint64_t ExceptionAddress = 0;
  // 16 * PointerSize bytes read at StackPointer and 256 bytes read at ExceptionAddress; either
  // one left short (unreadable memory) gives no dump lines.
  std::vector<uint8_t> StackBytes;
  std::vector<uint8_t> CodeBytes;
};

// Bytes the dump needs at the stack pointer and at the exception address.
inline size_t StackDumpBytes(int PointerSize) { return 16u * static_cast<size_t>(PointerSize); }
constexpr size_t CodeDumpBytes = 256;

// The whole block, captions from Options (CPU/Registers, CPU/Stack, CPU/Memory Dump).
std::string FormatCpuBlock(const TCpuFacts& Facts, const TVantorModuleOptions& Options);

// Just the dump lines (empty when the memory was unreadable or the address is 0).
std::string FormatDumpLines(const TCpuFacts& Facts);

}  // namespace vl::report
