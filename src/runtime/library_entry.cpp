// The entry point of a DLL built on the runtime: hands attach and detach to the runtime, which
// runs the units' initialisation and finalisation.
#include <windows.h>

#include "runtime/system.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* /*reserved*/) {
  return vl::rtl::LibraryEntry(instance, reason) ? TRUE : FALSE;
}
