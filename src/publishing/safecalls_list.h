// The session-wide "VANTORLOG_SAFECALLS_LIST" block: 4 bytes of shared memory whose first byte
// flags a safe-call error that the handled test could not place.
#pragma once

#include <cstdint>

namespace vl::publishing {

// Creates (or opens) the block at start-up; the flag byte, or null when it cannot be made.
uint8_t* SafeCallsFlag();

}  // namespace vl::publishing
