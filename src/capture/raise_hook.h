// The raise hook. Every C++ raise of the module passes the unwinder's _Unwind_RaiseException of
// the module's own static libgcc copy (throw, throw;, std::rethrow_exception, the library's own
// throws), so that routine's entry is patched to jump to HookedRaise. HookedRaise forwards at
// once while the capture is off or already working on the thread; otherwise its worker walks
// the stack (thrower_walk.h), records the thread's raise state and runs GoNotify, catching
// everything, and then the raise proceeds through the trampoline unchanged. A plain throw takes
// CaptureThrow instead, the same work in the frame that does __cxa_throw's, so that the unwinder
// passes no frame more than without the reporter.
//
// 64-bit fallback when the patch is refused: the unwinder raises a C++ throw with the system's
// RaiseException (code 0x20474343, the one argument the unwinder record) through the module's
// import slot, which is redirected instead; other codes pass through.
#pragma once

#include <unwind.h>
#include <windows.h>

#include <atomic>
#include <typeinfo>

#include "runtime/system.h"

extern "C" {
// Same calling convention as _Unwind_RaiseException (the C default, also on 32-bit).
_Unwind_Reason_Code HookedRaise(_Unwind_Exception* exception);
#if defined(__x86_64__)
void WINAPI HookedRaiseException(DWORD code, DWORD flags, DWORD count, const ULONG_PTR* arguments);
#endif
// The throw wrapper's entry while the patch is in (rtl::SetThrowEntry): __cxa_throw's
// steps and HookedRaise's in one frame, the real _Unwind_RaiseException called directly.
[[noreturn]] void CaptureThrow(void* object, std::type_info* type,
                               vl::rtl::TThrowDestructor destructor);
}

namespace vl::capture {

enum class TRaiseHookKind { rhNone, rhCodePatch, rhImport };

// Installs the hook (code patch, else on 64-bit the import redirection). An uninstallable hook is
// traced and skipped (rhNone).
TRaiseHookKind InstallRaiseHook();
TRaiseHookKind RaiseHookKind();

// Takes the code patch out for a while and puts it back (the bench's plain runs).
void PauseRaiseHook();
void ResumeRaiseHook();

// The 64-bit fallback alone (tests: the path taken when the patch is refused).
TRaiseHookKind InstallRaiseImportHook();

// Tests: set before start-up, the code patch counts as refused, as when the hooking engine
// cannot patch the unwinder's entry; start-up then takes the fallback.
extern std::atomic<bool> RefuseRaiseCodePatch;

}  // namespace vl::capture
