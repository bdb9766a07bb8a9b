#include "capture/raise_state.h"

#include <cstring>
#include <new>

namespace vl::capture {

namespace {

// A thread's state lives in its own block, allocated on first use and found through one TLS
// slot: the native context must be 16-byte aligned on 64-bit Windows.
DWORD g_slot = TLS_OUT_OF_INDEXES;
TThreadRaiseState g_fallback;  // only when no slot or block can be had

DWORD Slot() {
  static const DWORD slot = TlsAlloc();
  return slot;
}

}  // namespace

TThreadRaiseState& CurrentRaiseState() {
  if (g_slot == TLS_OUT_OF_INDEXES) g_slot = Slot();
  if (g_slot == TLS_OUT_OF_INDEXES) return g_fallback;
  auto* state = static_cast<TThreadRaiseState*>(TlsGetValue(g_slot));
  if (!state) {
    void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TThreadRaiseState) + 16);
    if (!block) return g_fallback;
    auto aligned = (reinterpret_cast<uintptr_t>(block) + 15) & ~uintptr_t{15};
    state = new (reinterpret_cast<void*>(aligned)) TThreadRaiseState();
    std::memset(&state->Context, 0, sizeof state->Context);
    TlsSetValue(g_slot, state);
  }
  return *state;
}

void ResetRaiseState(TThreadRaiseState& state) {
  state.StackPointer = 0;
  state.Context.ContextFlags = 0;
}

}  // namespace vl::capture
