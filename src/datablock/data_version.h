// The process-wide data version: the version of the data block read last, which the options
// stream reader applies. The library's own version until a block is read.
#pragma once

#include <cstdint>

namespace vl::datablock {

uint16_t CurrentDataVersion();
void SetCurrentDataVersion(uint16_t version);

}  // namespace vl::datablock
