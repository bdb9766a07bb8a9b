#include "report/cpu_block.h"

#include "core/module_texts.h"
#include "report/report_text_rules.h"

namespace vl::report {

static uint64_t SlotValue(const std::vector<uint8_t>& Bytes, size_t Offset, int Size) {
  uint64_t value = 0;
  for (int b = Size - 1; b >= 0; --b) value = (value << 8) | Bytes[Offset + static_cast<size_t>(b)];
  return value;
}

std::string FormatDumpLines(const TCpuFacts& Facts) {
  const int size = Facts.PointerSize == 8 ? 8 : 4;
  const int digits = 2 * size;
  if (Facts.ExceptionAddress == 0 || Facts.StackBytes.size() < StackDumpBytes(size) ||
      Facts.CodeBytes.size() < CodeDumpBytes) {
    return std::string();
  }
  std::string out;
  for (size_t i = 0; i < 16; ++i) {
    const size_t slot = i * static_cast<size_t>(size);
    out += HexText(Facts.StackPointer + slot, digits) + ": " +
           HexText(SlotValue(Facts.StackBytes, slot, size), digits) + "   " +
           HexText(Facts.ExceptionAddress + 16 * i, digits) + ": ";
    std::string chars;
    for (size_t b = 0; b < 16; ++b) {
      const uint8_t byte = Facts.CodeBytes[16 * i + b];
      out += HexText(byte, 2) + " ";
      chars += (byte < 32 || byte > 126) ? '.' : static_cast<char>(byte);
    }
    out += " " + chars + "\r\n";
  }
  return out;
}

std::string FormatCpuBlock(const TCpuFacts& Facts, const TVantorModuleOptions& Options) {
  const bool wide = Facts.PointerSize == 8;
  const int digits = wide ? 16 : 8;
  static const char* const kNames32[8] = {"EAX", "EDI", "EBX", "ESI", "ECX", "ESP", "EDX", "EIP"};
  static const char* const kNames64[8] = {"RAX", "RDI", "RBX", "RSI", "RCX", "RSP", "RDX", "RIP"};
  const char* const* names = wide ? kNames64 : kNames32;

  std::string out = CleanControlChars(Options.TextTable(core::txCpuRegisters)) + ":\r\n";
  // "EAX: xxxxxxxx   EDI: xxxxxxxx" is 29 characters wide with 8 digits.
  out += std::string(static_cast<size_t>(2 * digits + 13), '-') + "\r\n";
  for (int r = 0; r < 8; r += 2) {
    auto value = [&](int i) {
      return Facts.HasContext ? HexText(Facts.Registers[static_cast<size_t>(i)], digits)
                              : std::string("????");
    };
    out += std::string(names[r]) + ": " + value(r) + "   " + names[r + 1] + ": " + value(r + 1) +
           "\r\n";
  }
  out += "\r\n";
  // Left column: "address: value" (2 * digits + 2), then three blanks.
  const size_t left = static_cast<size_t>(2 * digits + 2);
  std::string stack = CleanControlChars(Options.TextTable(core::txCpuStack)) + ":";
  if (stack.size() < left + 3) stack.append(left + 3 - stack.size(), ' ');
  out += stack + CleanControlChars(Options.TextTable(core::txCpuMemoryDump)) + ":\r\n";
  // Right column: "address: " + 16 * "xx " + " " + 16 characters.
  out += std::string(left, '-') + "   " + std::string(static_cast<size_t>(digits + 2 + 65), '-') +
         "\r\n";
  out += FormatDumpLines(Facts);
  return out;
}

}  // namespace vl::report
