// What a module's data block yields once read (besides the options, which go straight into the
// module's options object).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vl::datablock {

struct TDataBlock {
  uint16_t DataVersion = 0;
  int32_t Reserved1 = 0;
  int32_t Reserved2 = 0;
  std::vector<uint8_t> DebugInfo;
  // The payload's bytes after the debug information: the options extension when they begin
  // with its magic (TVantorModuleOptions::LoadExtension decides), else nothing of ours.
  std::vector<uint8_t> Extension;
};

// The outcome of looking for a block: Found, or not with the reason (for the trace).
struct TBlockResult {
  bool Found = false;
  std::string Reason;
  TDataBlock Block;
};

}  // namespace vl::datablock
