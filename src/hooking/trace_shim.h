// Entry and exit lines of the engine's routines for the internal trace.
#pragma once

#include "core/trace.h"

namespace vl::hooking {

template <typename... Args>
inline void HookTrace(const char* name, int indentDelta, const Args&... args) {
  Trace(name, {core::TraceArg(args)...}, indentDelta);
}

}  // namespace vl::hooking
