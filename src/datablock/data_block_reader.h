// Reading a module's data block from its bytes. Nothing in a block is trusted: every length is
// checked against the bytes that exist, inflation is bounded, and a block that does not hold
// together counts as no block, with the reason for the trace.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "datablock/block_source.h"
#include "datablock/data_block.h"
#include "datablock/data_block_format.h"
#include "runtime/exceptions.h"

namespace vl::datablock {

// A block whose bytes do not hold together: the data is short or a length in it is wrong.
class EDataBlockError : public Exception {
  using Exception::Exception;
};

// Reads the options stream at the start of Data (Size bytes exist) written with data version
// Version into the module's options, and returns how many bytes it took. Raises an exception
// (any std::exception) when the stream is short or corrupt.
using TOptionsReader = std::function<size_t(const uint8_t* data, size_t size, uint16_t version)>;

// True when the bytes of a "VLDATA" resource begin with the magic.
bool HasResourceMagic(const uint8_t* data, size_t size);

// Reads the block from the bytes of a "VLDATA" resource. The version read is also made the
// process-wide data version before the options are read.
TBlockResult ReadResourceBlock(const uint8_t* data, size_t size, const TOptionsReader& readOptions,
                               size_t maxPayload = kMaxPayloadSize);

// True when the file ends with the magic.
bool HasTrailerMagic(TBlockSource& file);

// Reads the block from the trailer at the end of a file.
TBlockResult ReadTrailerBlock(TBlockSource& file, const TOptionsReader& readOptions,
                              size_t maxPayload = kMaxPayloadSize);

// Reads a payload (options stream, L, L bytes of debug information, the rest as the extension)
// into Block.
// Raises EDataBlockError, or what the options reader raises.
void ReadPayload(const uint8_t* data, size_t size, uint16_t version,
                 const TOptionsReader& readOptions, TDataBlock& block);

}  // namespace vl::datablock
