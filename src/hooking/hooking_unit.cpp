#include "hooking/code_slots.h"
#include "hooking/engine_lock.h"
#include "hooking/hooking.h"
#include "hooking/trace_shim.h"

namespace vl::hooking {

std::recursive_mutex& EngineLock() {
  static auto* lock = new std::recursive_mutex();
  return *lock;
}

void ShutdownHooking() {
  HookTrace("ShutdownHooking", 2);
  std::lock_guard<std::recursive_mutex> lock(EngineLock());
  bool allUndone = false;
  try {
    allUndone = UnhookAllProcedures();
  } catch (...) {
  }
  try {
    UndoAllImportHooks();
  } catch (...) {
  }
  // The trampoline blocks stay: threads that entered a trampoline before its routine was put
  // back may still be running in it, and the process is ending anyway.
  HookTrace("ShutdownHooking=", -2, allUndone);
}

namespace {

void Finalization() { ShutdownHooking(); }

VL_UNIT_REGISTRATION rtl::UnitRegistration g_unit("Hooking", UnitOrderHooking, nullptr, Finalization);

}  // namespace

}  // namespace vl::hooking
