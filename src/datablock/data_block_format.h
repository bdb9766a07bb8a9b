// The data block that a post-build step stores in a module to configure the crash reporter:
// its two storage forms and their constants.
//
// Resource form (RCDATA "VLDATA"):
//   0  magic (uint32)   4  data version V (uint16)   6  Reserved1, Reserved2 (int32 each)
//   14 payload; a zlib stream of the payload when V >= 450.
// Trailer form, appended to the module's file (B = bytes from V up to the length field):
//   end-8-B  V (uint16)   end-6-B  Reserved1, Reserved2   end-B+2  payload (B-10 bytes, raw)
//   end-8    B (int32)    end-4    magic
// Payload (both forms): the options stream, then L (int32), then L bytes of debug information,
// then (blocks written since the extension exists) the options extension: magic
// core::OptionsExtensionMagic, N (uint32), N bytes of tagged records (core/module_options.h).
// A reader that stops after the debug information, as every earlier reader does, skips the
// extension; a block without one gives the extension's options their defaults.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vl::datablock {

constexpr uint32_t kMagic = 0x000FAB10;
// The library's own data version: what a module without a block is taken to have.
constexpr uint16_t kLibraryDataVersion = 454;
// From this version on the resource payload is compressed.
constexpr uint16_t kFirstCompressedVersion = 450;

constexpr char kResourceName[] = "VLDATA";
constexpr size_t kResourceHeaderSize = 14;
// V and the two reserved values, counted in a trailer's B.
constexpr size_t kTrailerHeaderSize = 10;
// B and the magic at the very end of the file.
constexpr size_t kTrailerTailSize = 8;

// Upper bound on a payload (inflated or read from a file); a larger one is taken as corrupt.
constexpr size_t kMaxPayloadSize = size_t{64} << 20;

}  // namespace vl::datablock
