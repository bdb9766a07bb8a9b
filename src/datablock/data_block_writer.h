// Writing a module's data block: the library that the post-build tool and the tests share.
// The options stream and the debug information arrive as bytes from their own writers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "datablock/data_block_format.h"

namespace vl::datablock {

using TBytes = std::vector<uint8_t>;

// The payload: the options stream, L, then L bytes of debug information, then the options
// extension (TVantorModuleOptions::SaveExtension's bytes; none when empty).
TBytes BuildPayload(const TBytes& options, const TBytes& debugInfo, const TBytes& extension = {});

// Both forms refuse (raise Exception) a payload larger than kMaxPayloadSize, which the loader
// would refuse.

// The bytes of a "VLDATA" resource; the payload is compressed when Version >= 450.
TBytes BuildResourceBlock(const TBytes& payload, uint16_t version = kLibraryDataVersion,
                          int32_t reserved1 = 0, int32_t reserved2 = 0);

// The bytes to append to a module's file (payload never compressed).
TBytes BuildTrailer(const TBytes& payload, uint16_t version = kLibraryDataVersion,
                    int32_t reserved1 = 0, int32_t reserved2 = 0);

// Appends Bytes to the file at Path; raises EFOpenError when it cannot be opened for writing.
void AppendToFile(const std::string& path, const TBytes& bytes);

}  // namespace vl::datablock
