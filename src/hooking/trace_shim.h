// Entry and exit lines of the engine's routines for the internal trace.
// TODO(lead): stand-in until the internal trace is merged; replace the body of HookTrace with a
// call to Trace(Name, Args, IndentDelta) and delete this file's no-op.
#pragma once

namespace hooking {

template <typename... Args>
inline void HookTrace(const char* /*name*/, int /*indentDelta*/, const Args&... /*args*/) {}

}  // namespace hooking
