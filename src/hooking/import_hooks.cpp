#include "hooking/import_hooks.h"

#include <cstdint>
#include <cstring>

#include "hooking/code_writer.h"
#include "hooking/engine_lock.h"
#include "hooking/hook_errors.h"
#include "hooking/pe_imports.h"
#include "hooking/trace_shim.h"
#include "runtime/system.h"

namespace vl::hooking {

namespace {

struct TImportHook {
  HMODULE module;
  void* previous;
  void* replacement;
};

std::vector<TImportHook>& ImportHooks() {
  static auto* hooks = new std::vector<TImportHook>();
  return *hooks;
}

// Rewrites the slots of Module that hold OldProc; returns how many.
size_t PatchSlots(HMODULE module, void* oldProc, void* replacement) {
  const auto* image = reinterpret_cast<const uint8_t*>(module);
  size_t headerBytes = ReadableLength(image, 4096);
  uint32_t imageSize = headerBytes ? DeclaredImageSize(image, headerBytes) : 0;
  if (imageSize == 0 || !IsReadableRange(image, imageSize)) return 0;
  TImportSlots slots = FindImportSlots(image, imageSize);
  if (!slots.Ok || slots.PointerSize != sizeof(void*)) return 0;
  size_t patched = 0;
  for (uint32_t offset : slots.SlotOffsets) {
    auto* slot = const_cast<uint8_t*>(image + offset);
    void* value;
    std::memcpy(&value, slot, sizeof value);
    if (value != oldProc) continue;
    if (WriteCode(slot, &replacement, sizeof replacement)) ++patched;
  }
  return patched;
}

bool StillLoaded(HMODULE module) {
  HMODULE found = nullptr;
  return GetModuleHandleExA(
             GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
             reinterpret_cast<LPCSTR>(module), &found) &&
         found == module;
}

}  // namespace

namespace {

void* HookImportTraced(HMODULE module, void* oldProc, void* replacement, bool restoring,
                       bool silent, const std::string& name) {
  if (!oldProc) throw EProcNull(name);
  if (InSharedArea(module)) throw ESharedArea(rtl::ModuleFileName(module));
  if (!replacement) throw EHookingError(name);

  std::lock_guard<std::recursive_mutex> lock(EngineLock());
  if (PatchSlots(module, oldProc, replacement) == 0) {
    if (silent) return nullptr;
    throw EHookingError(name);
  }
  if (!restoring) ImportHooks().push_back(TImportHook{module, oldProc, replacement});
  return oldProc;
}

}  // namespace

void* HookImport(HMODULE module, void* oldProc, void* replacement, bool restoring, bool silent,
                 const std::string& name) {
  HookTrace("HookImport", 2, static_cast<void*>(module), oldProc, replacement, restoring, silent,
            name);
  void* result = nullptr;
  try {
    result = HookImportTraced(module, oldProc, replacement, restoring, silent, name);
  } catch (...) {
    HookTrace("HookImport=", -2, static_cast<void*>(nullptr));
    throw;
  }
  HookTrace("HookImport=", -2, result);
  return result;
}

bool HookImportInModules(const std::vector<std::string>& moduleNames,
                         const std::string& exporterModule, bool silent, void*& oldProc,
                         void* replacement, const std::string& procName) {
  HookTrace("HookImportInModules", 2, exporterModule, silent, replacement, procName);
  oldProc = nullptr;
  if (HMODULE exporter = GetModuleHandleA(exporterModule.c_str())) {
    oldProc = reinterpret_cast<void*>(GetProcAddress(exporter, procName.c_str()));
  }
  bool patched = false;
  try {
    for (const std::string& moduleName : moduleNames) {
      HMODULE module = GetModuleHandleA(moduleName.c_str());
      if (!module) continue;
      if (HookImport(module, oldProc, replacement, false, silent,
                     exporterModule + "." + procName)) {
        patched = true;
      }
    }
  } catch (...) {
    HookTrace("HookImportInModules=", -2, false);
    throw;
  }
  HookTrace("HookImportInModules=", -2, patched);
  return patched;
}

void UndoAllImportHooks() {
  std::lock_guard<std::recursive_mutex> lock(EngineLock());
  auto& hooks = ImportHooks();
  while (!hooks.empty()) {
    TImportHook hook = hooks.back();
    hooks.pop_back();
    if (!StillLoaded(hook.module)) continue;
    HookImport(hook.module, hook.replacement, hook.previous, true, true, "");
  }
}

size_t ImportHookCount() {
  std::lock_guard<std::recursive_mutex> lock(EngineLock());
  return ImportHooks().size();
}

}  // namespace vl::hooking
