// The post-build step: a linked module's data block made from its DWARF debug information and
// an options file, placed in the module without moving any of its code or data, and read back
// for inspection.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/debug_table_builder.h"

namespace vl::tools {

class EPostBuildError : public Exception {
 public:
  using Exception::Exception;
};

enum class BlockForm {
  Resource,  // patched into the module's placeholder RCDATA "VLDATA"
  Trailer,   // appended to the module's file
};

struct AttachResult {
  BlockForm Form = BlockForm::Resource;
  size_t BlockSize = 0;      // bytes of the block as stored
  size_t DebugInfoSize = 0;  // bytes of the debug information before compression
  size_t DwarfSize = 0;      // bytes of the module's .debug_* sections
  size_t PlaceholderSize = 0;
  TableStatistics Table;
};

// The payload of a module's block: the options (defaults, then IniPath when not empty) and the
// debug information made from Image's DWARF.
std::vector<uint8_t> MakePayload(const PeImage& image, const std::string& iniPath,
                                 AttachResult& result);

// Gives the file Bytes (a linked module) its block and returns the new file. The resource form
// needs a placeholder RCDATA "VLDATA" at least as large as the block; an existing trailer is
// replaced. The trailer form clears a block that the placeholder already holds (the resource
// would win at run time). A payload above the loader's limit is refused. Checks that the result has
// the same headers, sections and bytes outside the block's place, and raises EPostBuildError
// otherwise or when the block does not fit.
std::vector<uint8_t> AttachBlock(const std::vector<uint8_t>& bytes, const std::string& iniPath,
                                 BlockForm form, AttachResult& result);

// AttachBlock on the file at ModulePath. The new file is written beside it and renamed over
// it, so a failed write leaves the module as it was.
AttachResult AttachBlockToFile(const std::string& modulePath, const std::string& iniPath,
                               BlockForm form);

// The module's block in readable form: the form and version, the options as an INI file, the
// units with their address ranges and, with Lines, each line record's address, line, class and
// procedure. Raises EPostBuildError when the module has no readable block.
std::string DumpBlock(const std::vector<uint8_t>& bytes, bool lines);

// The file's bytes; raises EPostBuildError naming the file when it cannot be read.
std::vector<uint8_t> ReadFileBytes(const std::string& path);

}  // namespace vl::tools
