// A program on the runtime that hooks a routine and an import in its main block and ends through
// the orderly halt. A unit finalised after the engine checks that everything was put back:
// exit code 0 when it was, 3 when not, 4 when the hooks never worked.
#include <windows.h>

#include <cstring>

#include "hooking/hooking.h"
#include "hooking/test_routines.h"
#include "runtime/system.h"

using namespace vl;

namespace {

uint8_t g_original[hooking::PatchLength];
int (*g_multiply)(int, int) = nullptr;

int Replacement(int a, int b) { return g_multiply(a, b) + 1; }
DWORD WINAPI ReplacementTick() { return 4242; }

template <typename F>
F Opaque(F f) {
  F volatile copy = f;
  return copy;
}

void CheckRestored() {
  bool restored =
      std::memcmp(g_original, reinterpret_cast<void*>(&ExeMultiply), sizeof g_original) == 0 &&
      Opaque(&ExeMultiply)(6, 7) == 42 && hooking::HookedProcedureCount() == 0 &&
      hooking::ImportHookCount() == 0;
  // GetTickCount can return 4242 only once in 49 days.
  if (!restored || (GetTickCount() == 4242 && GetTickCount() == 4242)) ExitProcess(3);
}

VL_UNIT_REGISTRATION const rtl::UnitRegistration kChecker("Checker", hooking::UnitOrderHooking - 1, nullptr,
                                     CheckRestored);

void MainBlock() {
  std::memcpy(g_original, reinterpret_cast<void*>(&ExeMultiply), sizeof g_original);
  g_multiply = reinterpret_cast<int (*)(int, int)>(hooking::HookProcedure(
      reinterpret_cast<void*>(&ExeMultiply), reinterpret_cast<void*>(&Replacement), "ExeMultiply"));
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  void* old = nullptr;
  hooking::HookImportInModules({std::string(path, n)}, "kernel32.dll", false, old,
                               reinterpret_cast<void*>(&ReplacementTick), "GetTickCount");
  if (Opaque(&ExeMultiply)(6, 7) != 43 || GetTickCount() != 4242) rtl::Halt(4);
}

}  // namespace

int main() { rtl::RunProgram(MainBlock); }
