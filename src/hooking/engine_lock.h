// The lock that guards the engine's lists (hooked routines, redirected imports). Defined with the
// engine's unit, so any use of the engine links its shut-down in.
#pragma once

#include <mutex>

namespace vl::hooking {

std::recursive_mutex& EngineLock();

}  // namespace vl::hooking
