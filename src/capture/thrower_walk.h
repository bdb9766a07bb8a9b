// The raise hook's one walk over the raising thread's stack. It passes the hook's own frames and
// the C++ runtime's raise machinery, records the registers of the first frame beyond them (the
// thrower) at its raising call, and then searches outwards for the first frame that will catch
// the thrown object: that frame decides.
//
// A frame counts as catching when it is compiled with this module's GCC C++ personality and its
// handler table (lsda_interpreter.h) catches the object at the frame's call site. A frame whose
// table says std::terminate ends the search as "not handled", as does the walk's end, an
// unreadable frame and a damaged table. The runtime's last-chance guards (the program runner, the
// halt, the thread wrappers) are not handlers: reaching one means "not handled". 32-bit: the DWARF
// unwinder's backtrace, which ends at the first frame without call-frame information, as the
// unwinder does. 64-bit: the system's unwind tables; frames without a GCC handler are passed until
// the walk leaves the stack.
#pragma once

#include <cstdint>

#include "capture/raise_state.h"
#include "capture/thrown_object.h"

namespace vl::capture {

enum class THandlerKind { hkNone = 0, hkCatchAll = 1, hkTyped = 2, hkSafeCall = 3 };

struct TRaiseWalkResult {
  bool ThrowerFound = false;
  bool Handled = false;
  THandlerKind FirstKind = THandlerKind::hkNone;
  // A frame that does not let the raise pass (noexcept, a throw list without its type) ends the
  // search: the C++ runtime calls std::terminate there.
  bool Terminates = false;
  uintptr_t ThrowerReturn = 0;  // the return address of the thrower's raising call
  uintptr_t ThrowerStart = 0;   // the thrower's function start
  unsigned Frames = 0;
};

// HookStart: the function start of the hook whose frame is passed first (the walk begins in the
// caller's frames below it). Fills State's registers, StackPointer and RaiseStackPointer when the
// thrower is found.
TRaiseWalkResult WalkRaise(uintptr_t hookStart, const TThrownObject& thrown,
                           TThreadRaiseState& state);

// A function start that ends the search as "not handled" (the thread hook's wrapper), as the
// runtime's own guards do.
void AddGuardFrame(uintptr_t functionStart);

#if defined(__x86_64__)
// RtlLookupFunctionEntry, answered from this module's own function table (sorted, searched
// without the system's module lookup) for addresses inside this module; other addresses go to
// the system. Same answer as the system's.
void* LookupFunctionEntry(uint64_t pc, uint64_t& imageBase);

// RtlVirtualUnwind (no establisher frame, no register pointers) of the frame at pc, whose entry
// LookupFunctionEntry gave: a frame of this module at a return address is unwound from its
// unwind codes here, anything else by the system. Same registers, handler and handler data as
// the system's (vector registers excepted: they are left as they were).
void* VirtualUnwind(uint32_t handlerType, uint64_t imageBase, uint64_t pc, const void* entry,
                    CONTEXT& context, void*& handlerData);
#endif

#if !defined(__x86_64__)
// 32-bit: the unwinder's own search decides. The link wraps this module's C++ personality; while
// a search for Exception runs (between BeginSearch and EndSearch, on this thread), a frame that
// would catch it but is a last-chance guard, a safecall boundary, or a frame where the runtime
// terminates (noexcept, a violated throw list) is passed over instead, and so is every frame
// beyond it: the raise then comes back to the hook with its stack intact, to be reported and
// raised again (then nothing is passed over). A raise that some other frame catches never comes
// back, and costs no walk of its own.
void BeginSearch(void* exception);
// True when the search passed over such a frame (the raise is to be raised again).
bool EndSearch();
#endif

// Upper bound of frames looked at.
constexpr unsigned MaxWalkFrames = 2048;

}  // namespace vl::capture
