/* A library for module tests: one exported routine, resources from its .rc file. */
#include <windows.h>

__declspec(dllexport) int ProbeFunction(int x) { return x * 3 + 1; }

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reason;
  (void)reserved;
  return TRUE;
}
