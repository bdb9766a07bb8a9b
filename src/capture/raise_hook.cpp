#include "capture/raise_hook.h"

#include <cxxabi.h>

#include <new>
#include <stdexcept>

#include "capture/capture_state.h"
#include "capture/interception.h"
#include "capture/raise_state.h"
#include "capture/thrower_walk.h"
#include "capture/thrown_object.h"
#include "core/trace.h"
#include "hooking/hooking.h"
#include "platform/module_file.h"
#include "runtime/system.h"

namespace vl::capture {

namespace {

using TRaise = _Unwind_Reason_Code (*)(_Unwind_Exception*);
TRaise g_trampoline = nullptr;
TRaiseHookKind g_kind = TRaiseHookKind::rhNone;

#if defined(__x86_64__)
using TSystemRaise = void(WINAPI*)(DWORD, DWORD, DWORD, const ULONG_PTR*);
TSystemRaise g_systemRaise = nullptr;
constexpr DWORD GccThrowCode = 0x20474343;

TSystemRaise SystemRaise() {
  if (!g_systemRaise) {
    g_systemRaise = reinterpret_cast<TSystemRaise>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "RaiseException")));
  }
  return g_systemRaise;
}
#endif

// The worker: one walk, the raise state, GoNotify. Catches everything; a failure of its own is
// traced and the raise goes on.
__attribute__((noinline)) void RaiseWorker(_Unwind_Exception* exception, uintptr_t hookStart) {
  TThreadRaiseState& state = CurrentRaiseState();
  if (state.InCapture) return;
  state.InCapture = true;
  const DWORD lastError = GetLastError();
  try {
    const TThrownObject thrown = ThrownObjectOf(exception);
    // The same object raised again keeps the registers and address of its first raise, so a
    // handler that rethrows to inspect it, or a framework that reports it later, shows where it
    // really came from; the walk still decides whether it is handled this time.
    const bool again = thrown.Rethrow && thrown.Object && thrown.Object == state.ThrownObject &&
                       state.Context.ContextFlags != 0;
    TThreadRaiseState* scratch = again ? new (std::nothrow) TThreadRaiseState() : nullptr;
    TThreadRaiseState& target = scratch ? *scratch : state;
    state.ThrownObject = thrown.Object;
    state.ThrownType = thrown.Type;
    state.HandledKnown = false;
    if (!scratch) state.Context.ContextFlags = 0;
    const TRaiseWalkResult walk = WalkRaise(hookStart, thrown, target);
    const bool kept = scratch != nullptr;
    delete scratch;
    state.HandledKnown = true;
    state.Handled = walk.Handled;
    state.Terminates = walk.Terminates;
    SetHandledKind(state, walk.FirstKind,
                   walk.ThrowerStart == reinterpret_cast<uintptr_t>(&rtl::RaiseSafeCallError));
    void* address = kept && state.RaiseAddress ? state.RaiseAddress
                                               : reinterpret_cast<void*>(walk.ThrowerReturn);
    if (walk.Handled && walk.FirstKind != THandlerKind::hkSafeCall) {
      // Caught by the program: nothing to notify or publish, only where it came from.
      state.RaiseAddress = address;
    } else {
      GoNotify(ExceptionPtrOf(thrown), address, true, &thrown);
    }
  } catch (...) {
    try {
      Trace("HookedRaise: internal error", {}, 0);
    } catch (...) {
    }
  }
  SetLastError(lastError);
  state.InCapture = false;
}

#if !defined(__x86_64__)
// 32-bit, a plain throw: the raise state from the registers the throw recorded on its way in,
// and the unwinder's own search armed (see BeginSearch). False where the walk is needed first (a
// rethrow, a raise inside the capture, a raise that did not pass the throw wrapper).
bool PrepareSearchFirst(_Unwind_Exception* exception) {
  TThreadRaiseState& state = CurrentRaiseState();
  if (state.InCapture) return false;
  const DWORD lastError = GetLastError();
  const TThrownObject thrown = ThrownObjectOf(exception);
  rtl::TThrowRegisters r;
  const bool fresh = !thrown.Rethrow && thrown.Object && rtl::TakeThrowRegisters(thrown.Object, r);
  if (fresh) {
    state.ThrownObject = thrown.Object;
    state.ThrownType = thrown.Type;
    CONTEXT& c = state.Context;
    c.ContextFlags = RaiseContextFlags;
    c.Ebx = r.Ebx;
    c.Esi = r.Esi;
    c.Edi = r.Edi;
    c.Ebp = r.Ebp;
    c.Eax = static_cast<DWORD>(reinterpret_cast<uintptr_t>(thrown.Object));
    c.Edx = r.ReturnAddress;
    c.Ecx = 0;
    c.Esp = r.Esp;
    c.Eip = r.ReturnAddress - 5;
    state.RaiseEcx = 0;
    state.RaiseStackPointer = r.Esp;
    state.StackPointer = r.Esp;
    state.RaiseAddress = reinterpret_cast<void*>(static_cast<uintptr_t>(r.ReturnAddress));
    // Should the raise come back, the walk works these out again.
    state.HandledKnown = true;
    state.Handled = true;
    state.Terminates = false;
    SetHandledKind(state, THandlerKind::hkTyped, false);
    BeginSearch(exception);
  }
  SetLastError(lastError);
  return fresh;
}
#endif

}  // namespace

std::atomic<bool> RefuseRaiseCodePatch{false};

TRaiseHookKind InstallRaiseHook() {
  if (g_kind != TRaiseHookKind::rhNone) return g_kind;
  try {
    if (RefuseRaiseCodePatch.load()) throw std::runtime_error("refused on request");
    g_trampoline = reinterpret_cast<TRaise>(
        hooking::HookProcedure(reinterpret_cast<void*>(&_Unwind_RaiseException),
                               reinterpret_cast<void*>(&HookedRaise), "_Unwind_RaiseException"));
    g_kind = TRaiseHookKind::rhCodePatch;
    rtl::SetThrowEntry(&CaptureThrow);
    return g_kind;
  } catch (const std::exception& e) {
    Trace("InstallRaiseHook: code patch refused", {std::string(e.what())}, 0);
  }
  return InstallRaiseImportHook();
}

TRaiseHookKind InstallRaiseImportHook() {
#if defined(__x86_64__)
  try {
    void* system = reinterpret_cast<void*>(SystemRaise());
    if (system && hooking::HookImport(platform::CrashReporterModule(), system,
                                      reinterpret_cast<void*>(&HookedRaiseException), false, true,
                                      "kernel32.dll.RaiseException")) {
      g_kind = TRaiseHookKind::rhImport;
    }
  } catch (const std::exception& e) {
    Trace("InstallRaiseHook: import redirection refused", {std::string(e.what())}, 0);
  }
#endif
  return g_kind;
}

TRaiseHookKind RaiseHookKind() { return g_kind; }

void PauseRaiseHook() {
  if (g_kind != TRaiseHookKind::rhCodePatch) return;
  hooking::UnpatchProcedure(reinterpret_cast<void*>(g_trampoline));
  rtl::SetThrowEntry(nullptr);
}

void ResumeRaiseHook() {
  if (g_kind != TRaiseHookKind::rhCodePatch) return;
  hooking::RehookProcedure(reinterpret_cast<void*>(g_trampoline));
  rtl::SetThrowEntry(&CaptureThrow);
}

}  // namespace vl::capture

// The hook itself: no try block and no destructor around the forwarding call, so the unwinder
// passes this frame like any other.
// 32-bit, a plain throw: the unwinder searches first. A raise that a frame catches never comes
// back here; one that comes back (no catching frame, or one passed over: a guard, a boundary, a
// frame where the runtime terminates) still has its whole stack: the walk and the report run
// as before, and the raise goes on, now to the frame passed over.
namespace vl::capture {
namespace {
// The hook's work around the raise, inlined into the frame that calls it (HookStart).
__attribute__((always_inline)) inline _Unwind_Reason_Code RaiseThrough(_Unwind_Exception* exception,
                                                                       uintptr_t hookStart) {
  if (CaptureInstalled.load(std::memory_order_acquire) && !HostCarriesLibrary) {
#if !defined(__x86_64__)
    if (PrepareSearchFirst(exception)) {
      const _Unwind_Reason_Code first = g_trampoline(exception);
      const bool passedOver = EndSearch();
      RaiseWorker(exception, hookStart);
      return passedOver ? g_trampoline(exception) : first;
    }
    // A rethrow of the object a caught search was armed for searches as the runtime does.
    EndSearch();
#endif
    RaiseWorker(exception, hookStart);
  }
  return g_trampoline(exception);
}
}  // namespace
}  // namespace vl::capture

extern "C" __attribute__((noinline)) _Unwind_Reason_Code HookedRaise(_Unwind_Exception* exception) {
  return vl::capture::RaiseThrough(exception, reinterpret_cast<uintptr_t>(&HookedRaise));
}

namespace {
// The C++ runtime's per-thread exception globals, as its ABI lays them out.
struct TEhGlobals {
  void* CaughtExceptions;
  unsigned int UncaughtExceptions;
};
}  // namespace

// __cxa_throw's own steps, with the raise hook's work in the same frame: the unwinder passes
// exactly the frames of a throw without the reporter (through HookedRaise it would pass one
// more in each of its two phases, most of the cost of a caught throw a frame up).
extern "C" __attribute__((noinline, noreturn)) void CaptureThrow(
    void* object, std::type_info* type, vl::rtl::TThrowDestructor destructor) {
  reinterpret_cast<TEhGlobals*>(abi::__cxa_get_globals())->UncaughtExceptions += 1;
  // The header's reference count comes first: the throw holds one reference.
  *reinterpret_cast<int*>(abi::__cxa_init_primary_exception(object, type, destructor)) = 1;
  _Unwind_Exception* exception = vl::capture::UnwindHeaderOf(object);
  vl::capture::RaiseThrough(exception, reinterpret_cast<uintptr_t>(&CaptureThrow));
  // No frame took it: terminate is its handler, as in __cxa_throw.
  abi::__cxa_begin_catch(exception);
  std::terminate();
}

#if defined(__x86_64__)
extern "C" __attribute__((noinline)) void WINAPI HookedRaiseException(DWORD code, DWORD flags,
                                                                      DWORD count,
                                                                      const ULONG_PTR* arguments) {
  if (code == vl::capture::GccThrowCode && count == 1 && arguments &&
      vl::capture::CaptureInstalled.load(std::memory_order_acquire) &&
      !vl::capture::HostCarriesLibrary) {
    vl::capture::RaiseWorker(reinterpret_cast<_Unwind_Exception*>(arguments[0]),
                             reinterpret_cast<uintptr_t>(&HookedRaiseException));
  }
  vl::capture::SystemRaise()(code, flags, count, arguments);
}
#endif
