#include "capture/termination.h"

#include <windows.h>

#include <csignal>
#include <exception>
#include <string>

#include "capture/capture_state.h"
#include "capture/interception.h"
#include "core/trace.h"
#include "hooking/hooking.h"
#include "runtime/exceptions.h"

namespace vl::capture {

namespace {

using TCrtRaise = int(__cdecl*)(int);
using TPurecallHandler = void(__cdecl*)();
using TSetPurecall = TPurecallHandler(__cdecl*)(TPurecallHandler);
using TInvalidParameterHandler = void(__cdecl*)(const wchar_t*, const wchar_t*, const wchar_t*,
                                                unsigned, uintptr_t);
using TSetInvalidParameter = TInvalidParameterHandler(__cdecl*)(TInvalidParameterHandler);

constexpr DWORD StatusInvalidCrtParameter = 0xC0000417;

// The C runtime's image: a return address inside it belongs to the runtime, not the program.
uintptr_t g_crtLow = 0;
uintptr_t g_crtHigh = 0;
HMODULE g_crt = nullptr;

TCrtRaise g_crtRaise = nullptr;  // the trampoline of the patched raise
TSetPurecall g_setPurecall = nullptr;
TSetPurecall g_setPurecallTrampoline = nullptr;
TPurecallHandler g_programPurecall = nullptr;
TSetInvalidParameter g_setInvalidParameter = nullptr;
TSetInvalidParameter g_setInvalidParameterTrampoline = nullptr;
TInvalidParameterHandler g_programInvalidParameter = nullptr;
bool g_installed = false;

template <typename T>
T CrtProc(const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(g_crt, name)));
}

template <typename T>
T Patch(T target, T replacement, const char* name) {
  if (!target) return nullptr;
  try {
    return reinterpret_cast<T>(hooking::HookProcedure(reinterpret_cast<void*>(target),
                                                      reinterpret_cast<void*>(replacement), name));
  } catch (const std::exception& e) {
    Trace("InstallEndingHooks: not patched", {std::string(name), std::string(e.what())}, 0);
    return nullptr;
  }
}

// abort() and raise(SIGABRT): the report, then the runtime's raise, which calls the program's
// SIGABRT handler or ends the program with exit code 3.
int __cdecl HookedCrtRaise(int signal) {
  if (signal == SIGABRT)
    ReportEnding(std::make_exception_ptr(EAbnormalTermination("Abnormal program termination")),
                 g_crtLow, g_crtHigh);
  return g_crtRaise(signal);
}

// The runtime's purecall: the report, the program's handler; the runtime then ends the program.
void __cdecl HookedPurecall() {
  ReportEnding(std::make_exception_ptr(EPureVirtualCall("Pure virtual function called")), g_crtLow,
               g_crtHigh);
  if (g_programPurecall) g_programPurecall();
}

TPurecallHandler __cdecl HookedSetPurecall(TPurecallHandler handler) {
  const TPurecallHandler previous = g_programPurecall;
  g_programPurecall = handler;
  return previous;
}

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; text && *text; ++text) out += *text < 128 ? static_cast<char>(*text) : '?';
  return out;
}

// The runtime's invalid-parameter handler: the report, then the program's handler (the runtime
// function then fails and the program goes on), else the end the runtime's own handler makes.
void __cdecl HookedInvalidParameter(const wchar_t* expression, const wchar_t* function,
                                    const wchar_t* file, unsigned line, uintptr_t reserved) {
  std::string message = "Invalid parameter passed to a C runtime function";
  if (function && *function) message += " (" + Narrow(function) + ")";
  if (expression && *expression) message += ": " + Narrow(expression);
  ReportEnding(std::make_exception_ptr(EInvalidParameter(message)), g_crtLow, g_crtHigh);
  if (g_programInvalidParameter) {
    g_programInvalidParameter(expression, function, file, line, reserved);
    ReleaseEnding();
    return;
  }
  TerminateProcess(GetCurrentProcess(), StatusInvalidCrtParameter);
}

TInvalidParameterHandler __cdecl HookedSetInvalidParameter(TInvalidParameterHandler handler) {
  const TInvalidParameterHandler previous = g_programInvalidParameter;
  g_programInvalidParameter = handler;
  return previous;
}

}  // namespace

void InstallEndingHooks() {
  if (g_installed) return;
  g_crt = GetModuleHandleA("msvcrt.dll");
  if (!g_crt) g_crt = GetModuleHandleA("ucrtbase.dll");
  if (!g_crt) return;
  const auto base = reinterpret_cast<uintptr_t>(g_crt);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  g_crtLow = base;
  g_crtHigh = base + nt->OptionalHeader.SizeOfImage;
  g_installed = true;

  g_crtRaise = Patch(CrtProc<TCrtRaise>("raise"), HookedCrtRaise, "raise");
  // Where this runtime has the handlers (msvcrt.dll of Windows Vista and later; not Wine's):
  // ours in place, the setters patched so that the program's handler is kept for after the
  // report.
  g_setPurecall = CrtProc<TSetPurecall>("_set_purecall_handler");
  if (g_setPurecall) {
    g_programPurecall = g_setPurecall(HookedPurecall);
    g_setPurecallTrampoline = Patch(g_setPurecall, HookedSetPurecall, "_set_purecall_handler");
  }
  g_setInvalidParameter = CrtProc<TSetInvalidParameter>("_set_invalid_parameter_handler");
  if (g_setInvalidParameter) {
    g_programInvalidParameter = g_setInvalidParameter(HookedInvalidParameter);
    g_setInvalidParameterTrampoline =
        Patch(g_setInvalidParameter, HookedSetInvalidParameter, "_set_invalid_parameter_handler");
  }
}

void RemoveEndingHooks() {
  if (!g_installed) return;
  g_installed = false;
  // The setters' patches first: the program's handlers go back in place through the runtime.
  if (g_setPurecallTrampoline)
    hooking::UnhookProcedure(reinterpret_cast<void*>(g_setPurecallTrampoline));
  if (g_setInvalidParameterTrampoline)
    hooking::UnhookProcedure(reinterpret_cast<void*>(g_setInvalidParameterTrampoline));
  if (g_setPurecall) g_setPurecall(g_programPurecall);
  if (g_setInvalidParameter) g_setInvalidParameter(g_programInvalidParameter);
  g_setPurecallTrampoline = nullptr;
  g_setInvalidParameterTrampoline = nullptr;
  // The raise patch stays until the hooking engine's shut-down: another thread may be in it.
}

void ReportPureVirtualCall(uintptr_t low, uintptr_t high) {
  ReportEnding(std::make_exception_ptr(EPureVirtualCall("Pure virtual function called")), low,
               high);
}

}  // namespace vl::capture

// A pure virtual call in the program's code (the link wraps __cxa_pure_virtual): the report, then
// the C++ runtime's routine, which prints its message and calls std::terminate.
extern "C" {
[[noreturn]] void __real___cxa_pure_virtual();
[[noreturn]] void __wrap___cxa_pure_virtual() {
  const auto caller = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
  vl::capture::ReportPureVirtualCall(caller, caller);
  __real___cxa_pure_virtual();
}
}
