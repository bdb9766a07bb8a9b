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

namespace vl::hooking {

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

namespace {

void* HookProcedureTraced(void* target, void* replacement, const std::string& name) {
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
  return stub->trampoline;
}

// Writes the routine's saved bytes back; true when they are in place (or the routine's memory
// has gone with its module, so there is nothing to put back).
bool RestoreSavedBytes(const THookStub& stub) {
  if (!StillThere(stub)) return true;
  if (WriteCode(stub.target, stub.savedBytes, PatchLength)) return true;
  HookTrace("Restoring the routine's first bytes failed", 0, static_cast<void*>(stub.target),
            stub.name);
  return false;
}

void Forget(THookStub* stub) {
  auto& stubs = Stubs();
  stubs.erase(std::find(stubs.begin(), stubs.end(), stub));
}

}  // namespace

void* HookProcedure(void* target, void* replacement, const std::string& name) {
  HookTrace("HookProcedure", 2, target, replacement, name);
  void* trampoline = nullptr;
  try {
    trampoline = HookProcedureTraced(target, replacement, name);
  } catch (...) {
    // The refusal closes the entry line, so the trace's indentation stays balanced.
    HookTrace("HookProcedure=", -2, static_cast<void*>(nullptr));
    throw;
  }
  HookTrace("HookProcedure=", -2, trampoline);
  return trampoline;
}

bool UnhookProcedure(void* trampoline) {
  HookTrace("UnhookProcedure", 2, trampoline);
  bool done = true;
  {
    std::lock_guard<std::recursive_mutex> lock(EngineLock());
    if (THookStub* stub = FindStub(trampoline)) {
      // The routine still jumps into the trampoline while its bytes cannot be put back: keep
      // both.
      done = RestoreSavedBytes(*stub);
      if (done) {
        Forget(stub);
        FreeStub(stub);
      }
    }
  }
  HookTrace("UnhookProcedure=", -2, done);
  return done;
}

bool UnpatchProcedure(void* trampoline) {
  std::lock_guard<std::recursive_mutex> lock(EngineLock());
  THookStub* stub = FindStub(trampoline);
  if (!stub || !WriteCode(stub->target, stub->savedBytes, PatchLength)) {
    HookTrace("UnpatchProcedure failed", 0, trampoline);
    return false;
  }
  return true;
}

bool RehookProcedure(void* trampoline) {
  std::lock_guard<std::recursive_mutex> lock(EngineLock());
  THookStub* stub = FindStub(trampoline);
  if (!stub || !WriteCode(stub->target, stub->patch, PatchLength)) {
    HookTrace("RehookProcedure failed", 0, trampoline);
    return false;
  }
  return true;
}

bool UnhookAllProcedures() {
  std::lock_guard<std::recursive_mutex> lock(EngineLock());
  auto& stubs = Stubs();
  std::vector<THookStub*> kept;
  // The last hooked first. The trampolines are not freed: at the end of the process other
  // threads may still be running in them (a call that entered before the bytes went back).
  while (!stubs.empty()) {
    THookStub* stub = stubs.back();
    stubs.pop_back();
    if (RestoreSavedBytes(*stub)) {
      delete stub;
    } else {
      kept.insert(kept.begin(), stub);
    }
  }
  stubs = std::move(kept);
  return stubs.empty();
}

size_t HookedProcedureCount() {
  std::lock_guard<std::recursive_mutex> lock(EngineLock());
  return Stubs().size();
}

}  // namespace vl::hooking
