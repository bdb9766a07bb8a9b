#include "capture/raise_state.h"

#include <cstring>
#include <new>

#include "runtime/system.h"

namespace vl::capture {

namespace {

// A thread's state lives in its own block, allocated on first use, found through one fiber-local
// slot and freed when its thread ends (where the system has fiber-local storage; a thread-local
// slot otherwise, whose blocks stay). The native context must be 16-byte aligned on 64-bit
// Windows, so the block's own address is kept just in front of the state.
constexpr DWORD NoSlot = 0xFFFFFFFF;  // FLS_OUT_OF_INDEXES and TLS_OUT_OF_INDEXES alike
VL_UNIT_REGISTRATION TThreadRaiseState g_fallback;  // only when no slot or block can be had

void WINAPI FreeRaiseState(void* state) {
  if (!state) return;
  void* block = nullptr;
  std::memcpy(&block, static_cast<char*>(state) - sizeof block, sizeof block);
  HeapFree(GetProcessHeap(), 0, block);
}

struct TSlot {
  DWORD Index = NoSlot;
  void*(WINAPI* Get)(DWORD) = nullptr;
  BOOL(WINAPI* Set)(DWORD, void*) = nullptr;
};

template <typename T>
T Kernel32Proc(const char* name) {
  return reinterpret_cast<T>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)));
}

TSlot MakeSlot() {
  TSlot slot;
  using TFlsAlloc = DWORD(WINAPI*)(void(WINAPI*)(void*));
  const auto flsAlloc = Kernel32Proc<TFlsAlloc>("FlsAlloc");
  slot.Get = Kernel32Proc<void*(WINAPI*)(DWORD)>("FlsGetValue");
  slot.Set = Kernel32Proc<BOOL(WINAPI*)(DWORD, void*)>("FlsSetValue");
  if (flsAlloc && slot.Get && slot.Set) {
    slot.Index = flsAlloc(FreeRaiseState);
  } else {
    slot.Index = TlsAlloc();
    slot.Get = TlsGetValue;
    slot.Set = TlsSetValue;
  }
  return slot;
}

const TSlot& Slot() {
  static const TSlot slot = MakeSlot();
  return slot;
}

}  // namespace

TThreadRaiseState& CurrentRaiseState() {
  const TSlot& slot = Slot();
  if (slot.Index == NoSlot) return g_fallback;
  auto* state = static_cast<TThreadRaiseState*>(slot.Get(slot.Index));
  if (!state) {
    void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                            sizeof(TThreadRaiseState) + 16 + sizeof(void*));
    if (!block) return g_fallback;
    const auto aligned = (reinterpret_cast<uintptr_t>(block) + sizeof(void*) + 15) & ~uintptr_t{15};
    std::memcpy(reinterpret_cast<void*>(aligned - sizeof block), &block, sizeof block);
    state = new (reinterpret_cast<void*>(aligned)) TThreadRaiseState();
    std::memset(&state->Context, 0, sizeof state->Context);
    if (!slot.Set(slot.Index, state)) {
      HeapFree(GetProcessHeap(), 0, block);
      return g_fallback;
    }
  }
  return *state;
}

void ResetRaiseState(TThreadRaiseState& state) {
  state.StackPointer = 0;
  state.Context.ContextFlags = 0;
}

}  // namespace vl::capture
