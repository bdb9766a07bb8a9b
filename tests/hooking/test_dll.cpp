// A small library for the hooking tests: a routine to patch and a direct import call.
#include <windows.h>

extern "C" {

__declspec(dllexport) __attribute__((noipa, ms_hook_prologue)) int HookDll_Add(int a, int b) {
  return a + b;
}

// Calls GetTickCount straight through this library's import slot.
__declspec(dllexport) __attribute__((noipa)) DWORD HookDll_TickCount() { return GetTickCount(); }
}
