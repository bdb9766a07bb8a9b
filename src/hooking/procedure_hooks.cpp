#include "hooking/procedure_hooks.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "hooking/code_slots.h"
#include "hooking/code_writer.h"
#include "hooking/engine_lock.h"
#include "hooking/hook_errors.h"
#include "hooking/prologue_relocator.h"
#include "hooking/trace_shim.h"
#include "runtime/system.h"

namespace hooking {

namespace {

// How many bytes of a routine are read for the decoder: the longest prologue it may move.
constexpr size_t kPrologueWindow = PatchLength - 1 + 15;
constexpr size_t kRelayLength = 16;  // FF 25 00000000 abs64, padded

struct THookStub {
  uint8_t* target;
  void* replacement;
  HMODULE module;  // module holding the routine (not counted), null for other memory
  uint8_t* slot;
  uint8_t* trampoline;
  uint8_t savedBytes[PatchLength];
  uint8_t patch[PatchLength];
  std::string name;
};

std::vector<THookStub*>& Stubs() {
  static auto* stubs = new std::vector<THookStub*>();
  return *stubs;
}

THookStub* FindStub(void* trampoline) {
  if (!trampoline) return nullptr;
  for (THookStub* stub : Stubs()) {
    if (stub->trampoline == trampoline) return stub;
  }
  return nullptr;
}

HMODULE ModuleOf(const void* address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCSTR>(address), &module)) {
    return nullptr;
  }
  return module;
}

// The routine's memory is still what it was when it was hooked.
bool StillThere(const THookStub& stub) {
  if (stub.module && ModuleOf(stub.target) != stub.module) return false;
  return IsReadableRange(stub.target, PatchLength);
}

// Builds the stub: trampoline (and relay) written into a slot near the routine, patch bytes
// computed. Raises EHookingError with the name when the routine cannot be moved.
THookStub* BuildStub(uint8_t* target, void* replacement, const std::string& name) {
  const uintptr_t targetAddress = reinterpret_cast<uintptr_t>(target);
  const uintptr_t replacementAddress = reinterpret_cast<uintptr_t>(replacement);
  uint8_t prologue[kPrologueWindow];
  size_t available = ReadableLength(target, sizeof prologue);
  if (available < PatchLength) throw EHookingError(name);
  std::memcpy(prologue, target, available);

  uint8_t* slot = AllocateCodeSlot(target);
  if (!slot) throw EHookingError(name);
  try {
    const uintptr_t slotAddress = reinterpret_cast<uintptr_t>(slot);
    const bool relay =
        !Rel32Reaches(targetAddress + PatchLength, replacementAddress, NativeCpuMode);
    const uintptr_t trampolineAddress = slotAddress + (relay ? kRelayLength : 0);
    TRelocatedPrologue moved =
        RelocatePrologue(prologue, available, targetAddress, trampolineAddress, NativeCpuMode);
    if (!moved.Ok) {
      HookTrace("HookProcedure refused", 0, name, moved.Reason);
      throw EHookingError(name);
    }
    std::vector<uint8_t> code;
    if (relay) {
      code = EncodeJump(slotAddress, replacementAddress, TCpuMode::cmX64);
      code.resize(kRelayLength, 0xCC);
    }
    code.insert(code.end(), moved.Code.begin(), moved.Code.end());
    if (code.size() > CodeSlotSize || !WriteCode(slot, code.data(), code.size())) {
      throw EHookingError(name);
    }
    std::vector<uint8_t> patch =
        EncodeJump(targetAddress, relay ? slotAddress : replacementAddress, NativeCpuMode);
    if (patch.size() != PatchLength) throw EHookingError(name);

    auto* stub = new THookStub();
    stub->target = target;
    stub->replacement = replacement;
    stub->module = ModuleOf(target);
    stub->slot = slot;
    stub->trampoline = reinterpret_cast<uint8_t*>(trampolineAddress);
    std::memcpy(stub->savedBytes, prologue, PatchLength);
    std::memcpy(stub->patch, patch.data(), PatchLength);
    stub->name = name;
    return stub;
  } catch (...) {
    FreeCodeSlot(slot);
    throw;
  }
}

void FreeStub(THookStub* stub) {
  FreeCodeSlot(stub->slot);
  delete stub;
}

}  // namespace

void* HookProcedure(void* target, void* replacement, const std::string& name) {
  HookTrace("HookProcedure", 2, target, replacement, name);
  target = FollowImportJumpStub(target);
  replacement = FollowImportJumpStub(replacement);
  if (!target) throw EProcNull(name);
  if (InSharedArea(target)) throw ESharedArea(rtl::ModuleFileNameOf(target));
  if (!replacement) throw EHookingError(name);

  std::lock_guard<std::recursive_mutex> lock(EngineLock());
  THookStub* stub = nullptr;
  try {
    stub = BuildStub(static_cast<uint8_t*>(target), replacement, name);
    Stubs().push_back(stub);
  } catch (const EHookError&) {
    throw;
  } catch (...) {  // out of memory while recording
    if (stub) FreeStub(stub);
    throw EHookingError(name);
  }
  if (!WriteCode(stub->target, stub->patch, PatchLength)) {
    Stubs().pop_back();
    FreeStub(stub);
    throw EHookingError(name);
  }
  HookTrace("HookProcedure=", -2, static_cast<void*>(stub->trampoline));
  return stub->trampoline;
}

void UnhookProcedure(void* trampoline) {
  HookTrace("UnhookProcedure", 2, trampoline);
  std::lock_guard<std::recursive_mutex> lock(EngineLock());
  THookStub* stub = FindStub(trampoline);
  if (stub) {
    if (StillThere(*stub)) WriteCode(stub->target, stub->savedBytes, PatchLength);
    auto& stubs = Stubs();
    stubs.erase(std::find(stubs.begin(), stubs.end(), stub));
    FreeStub(stub);
  }
  HookTrace("UnhookProcedure=", -2);
}

void UnpatchProcedure(void* trampoline) {
  std::lock_guard<std::recursive_mutex> lock(EngineLock());
  if (THookStub* stub = FindStub(trampoline)) {
    WriteCode(stub->target, stub->savedBytes, PatchLength);
  }
}

void RehookProcedure(void* trampoline) {
  std::lock_guard<std::recursive_mutex> lock(EngineLock());
  if (THookStub* stub = FindStub(trampoline)) {
    WriteCode(stub->target, stub->patch, PatchLength);
  }
}

void UnhookAllProcedures() {
  std::lock_guard<std::recursive_mutex> lock(EngineLock());
  auto& stubs = Stubs();
  while (!stubs.empty()) {
    THookStub* stub = stubs.back();
    stubs.pop_back();
    if (StillThere(*stub)) WriteCode(stub->target, stub->savedBytes, PatchLength);
    FreeStub(stub);
  }
}

size_t HookedProcedureCount() {
  std::lock_guard<std::recursive_mutex> lock(EngineLock());
  return Stubs().size();
}

}  // namespace hooking
