// Reading the pointer encodings of the GCC exception tables (the one-byte DW_EH_PE codes of
// call-frame and handler tables) from a bounded byte range. Pure byte work: values that live
// outside the range (an indirect pointer) are read through the caller's memory reader.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vl::capture {

// Encoding bytes.
constexpr uint8_t EhPeOmit = 0xFF;
constexpr uint8_t EhPeIndirect = 0x80;

// Reads memory of the process (or of a test's model of it): one pointer of the table's width at
// Address. False when the address is not readable.
class TPointerReader {
 public:
  virtual ~TPointerReader() = default;
  virtual bool ReadPointer(uint64_t address, uint64_t& value) = 0;
};

// A cursor over Size bytes that lie at run-time address Address. Every read checks the bounds;
// a failed read leaves the cursor unusable (Ok() false) and returns 0.
class TEhReader {
 public:
  TEhReader(const uint8_t* data, size_t size, uint64_t address, unsigned pointerSize)
      : FData(data), FSize(size), FAddress(address), FPointerSize(pointerSize) {}

  bool Ok() const { return FOk; }
  size_t Position() const { return FPos; }
  size_t Size() const { return FSize; }
  uint64_t AddressAt(size_t position) const { return FAddress + position; }
  unsigned PointerSize() const { return FPointerSize; }
  // Moves to Position; beyond the end fails.
  bool Seek(size_t position);

  uint8_t U8();
  uint64_t Uleb128();
  int64_t Sleb128();
  // Fixed-size little-endian value of Bytes bytes (1, 2, 4, 8), sign-extended when Signed.
  uint64_t Fixed(unsigned bytes, bool isSigned);

  // One encoded value. Applications supported: absolute, pc-relative, function-relative (against
  // FunctionStart); text- and data-relative and aligned values are refused (they do not occur on
  // x86). A raw value of 0 stays 0 (a null entry), as the runtime reads it. Indirect values are
  // read through Reader (may be null when the encoding is known not to be indirect).
  uint64_t Encoded(uint8_t encoding, uint64_t functionStart, TPointerReader* reader);

  // Size in bytes of one value of the encoding when it has a fixed size, else 0.
  static unsigned FixedSize(uint8_t encoding, unsigned pointerSize);

 private:
  uint64_t Fail() {
    FOk = false;
    return 0;
  }
  const uint8_t* FData;
  size_t FSize;
  uint64_t FAddress;
  unsigned FPointerSize;
  size_t FPos = 0;
  bool FOk = true;
};

}  // namespace vl::capture
