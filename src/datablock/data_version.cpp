#include "datablock/data_version.h"

#include <atomic>

#include "datablock/data_block_format.h"

namespace vl::datablock {

namespace {
std::atomic<uint16_t> g_version{kLibraryDataVersion};
}

uint16_t CurrentDataVersion() { return g_version.load(); }
void SetCurrentDataVersion(uint16_t version) { g_version.store(version); }

}  // namespace vl::datablock
