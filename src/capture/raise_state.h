// Per-thread raise state: what the raise hooks record about the thread's last exception, for the
// call-stack walk and the register section of the report.
#pragma once

#include <windows.h>

#include <cstdint>
#include <typeinfo>

namespace vl::capture {

// The native context's flags when filled: control, integer and segment registers.
#if defined(__x86_64__)
constexpr DWORD RaiseContextFlags = 0x00100007;
#else
constexpr DWORD RaiseContextFlags = 0x00010007;
#endif

struct TThreadRaiseState {
  // Where the call-stack walk starts for the current exception; 0 = none.
  uintptr_t StackPointer = 0;
  // The raising code's stack pointer at its raising call.
  uintptr_t RaiseStackPointer = 0;
  // ECX at the raise: a C++ throw passes nothing in it, always 0.
  uint32_t RaiseEcx = 0;
  // The thread's registers at the raise (flags RaiseContextFlags) or at an operating-system
  // exception; flags 0 = no registers.
  CONTEXT Context;
  // The thrown C++ object of the last raise and its type (null for a foreign exception and for
  // operating-system exceptions), so that class and message can be read without rethrowing.
  void* ThrownObject = nullptr;
  const std::type_info* ThrownType = nullptr;
  // Where the last exception was raised (the raising call's return address, or the fault's).
  void* RaiseAddress = nullptr;
  // The handled test's answer, worked out by the raise hook's walk.
  bool HandledKnown = false;
  bool Handled = false;
  // The walk ended in a frame that lets nothing pass (noexcept): the runtime terminates there.
  bool Terminates = false;
  // The first deciding frame's kind of handler (THandlerKind), and whether the raise came from
  // the runtime's safecall check.
  uint8_t HandledKind = 0;
  bool RaisedInSafeCallCheck = false;
  // The walk's verdicts of recent catching frames for thrown types (thrower_walk.cpp).
  struct TVerdict {
    uintptr_t Table;
    uintptr_t ReturnAddress;
    const std::type_info* Type;
    int Verdict;
  };
  TVerdict Verdicts[16] = {};
  // The capture is working on this thread (a raise hook or the exception-object hook): a raise
  // inside it is passed on untouched.
  bool InCapture = false;
};

// This thread's state (zero at thread start).
TThreadRaiseState& CurrentRaiseState();

// Clears the stack pointer and the context flags (the end of a notification).
void ResetRaiseState(TThreadRaiseState& state);

}  // namespace vl::capture
