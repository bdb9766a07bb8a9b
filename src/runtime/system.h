// The runtime's program lifetime and exception machinery: unit initialisation and finalisation,
// the program's main block, and the procedure variables that a crash reporter may replace.
#pragma once

#include <cxxabi.h>
#include <windows.h>

#include <exception>
#include <string>
#include <typeinfo>

// Marks a static object that the units' start-up needs constructed before it runs: the
// registrations of units that take part in the ordered start, and state those units use.
#define VL_UNIT_REGISTRATION __attribute__((init_priority(101)))

// Put before a last-chance guard's catch (...): a forced unwind (abi::__forced_unwind: thread
// cancellation, _Unwind_ForcedUnwind) passes the guard untouched. Not on the SEH unwinder of
// 64-bit Windows, where libgcc cannot go on with a forced unwind that a catch took (its
// _Unwind_Resume goes on as an ordinary raise): there the guard keeps it, as any exception.
#if defined(__SEH__)
#define VL_PASS_FORCED_UNWIND
#else
#define VL_PASS_FORCED_UNWIND     \
  catch (abi::__forced_unwind&) { \
    throw;                        \
  }
#endif

namespace vl::rtl {

// ---- Procedure variables (replaced by the crash reporter at start-up, restored at shut-down) ----

// Unhandled-exception procedure: called with the exception (as std::exception_ptr, so any
// thrown type can be passed) and the address where it was raised, when nothing caught it.
// The default shows the "Application Error" box and ends the process with exit code 1.
using TExceptProc = void (*)(std::exception_ptr object, void* address);
extern TExceptProc ExceptProc;

// Exception-object hook: turns an operating-system exception record into an exception object
// (an EExternal descendant). Called when an operating-system exception reaches the runtime.
using TExceptObjProc = std::exception_ptr (*)(EXCEPTION_RECORD* record);
extern TExceptObjProc ExceptObjProc;

// Safecall-error procedure: called when a safecall method returned a failure code.
using TSafeCallErrorProc = void (*)(HRESULT errorCode, void* address);
extern TSafeCallErrorProc SafeCallErrorProc;

// Application-initialisation procedure: called once by the application object's Initialize.
using TInitProc = void (*)();
extern TInitProc InitProc;

// The runtime's defaults for the variables above.
void DefaultExceptProc(std::exception_ptr object, void* address);
std::exception_ptr DefaultExceptObjProc(EXCEPTION_RECORD* record);

// ---- Safecall methods ----

// The boundary of a safecall method: runs Body(Context) under a catch-all and turns an escaping
// exception into a failure code (an EOleException's own code, else E_UNEXPECTED); S_OK otherwise.
HRESULT SafeCall(void (*body)(void* context), void* context);

// The caller's check of a safecall result: a failure code goes to SafeCallErrorProc (with the
// caller's address) and, when that returns or is unset, raises EOleException with the code.
void CheckSafeCallResult(HRESULT result);
// Where the check raises its EOleException: a routine of its own, so that a raise hook can tell
// "raised in the caller's check" by the raising routine (the check passes on a failure that its
// callee has already turned into a code).
[[noreturn]] void RaiseSafeCallError(HRESULT result);

// ---- Units ----

// A unit's initialisation runs during the static initialisation of the program or DLL that links
// the runtime, before any static object of the program's own, so a plain `main`, `WinMain` or
// `DllMain` is covered from its first line. The units registered by then (every registration
// marked VL_UNIT_REGISTRATION) initialise in ascending Order (ties in registration order); a unit
// registered later initialises at once. Finalisation runs at exit (or in Halt, or at the DLL's
// detach), in the reverse order of initialisation. The crash reporter's units use orders below
// UnitOrderProgram.
constexpr int UnitOrderRuntime = 0;
constexpr int UnitOrderCrashReporter = 100;
constexpr int UnitOrderProgram = 1000;
struct UnitRegistration {
  UnitRegistration(const char* name, int order, void (*initialization)(), void (*finalization)());
};

// Registers a routine that the orderly halt runs (last registered first) before unit finalisation.
void AddExitProc(void (*proc)());

// True from the start of the first unit initialisation until the last one has run, and
// from the start of the first finalisation on.
bool InUnitInitialization();
bool InUnitFinalization();

// Starts the units now if the start-up has not yet done so (the start-up object calls it; so do
// RunProgram and LibraryEntry). Never starts them twice.
void StartUnits();

// ---- Program ----

// Makes the runtime's filter the process's last chance for operating-system exceptions (they
// then reach ExceptObjProc and ExceptProc), once; a DLL leaves the filter to the executable.
// RunProgram does so, and so does a crash reporter that starts active in a plain program.
void InstallLastChanceFilter();

// Runs a program's main block under the runtime's exception handling (the units have started
// already), then the orderly halt with exit code 0. An exception escaping the main block goes to
// ExceptProc. Never returns.
[[noreturn]] void RunProgram(void (*mainBlock)());

// The runtime's library entry, called by a DLL's entry point (library_entry.cpp, linked through
// the rtl_dll library): at process attach the units have started (false when an initialisation
// raised: the DLL then refuses to load), at process detach it runs the exit procedures and the
// unit finalisations. Thread attach and detach are not passed on. Nothing escapes.
bool LibraryEntry(HINSTANCE instance, DWORD reason);
// True when the runtime is linked into a DLL rather than the executable; the DLL's handle then.
bool IsLibrary();
HINSTANCE LibraryInstance();

// True when the calling thread owns the loader lock (inside a DLL's entry point, its static
// objects' construction or destruction, a TLS callback): another thread that loads a module or
// starts then waits for it.
bool HoldsLoaderLock();

// The orderly halt: exit procedures, unit finalisation, then the process ends with ExitCode. An
// exception escaping an exit procedure or a finalisation goes to ExceptProc; when that returns,
// the rest of the halt runs (the default ends the process at once, with exit code 1).
[[noreturn]] void Halt(int exitCode);

// Shows the runtime's error box for an exception ("Application Error").
void ShowException(std::exception_ptr object, void* address);

// The box's text: "Exception %s in module %s at %p.\r\n%s%s\r\n" (class name, module file name,
// address, message, a full stop when the message does not end in one).
std::string ExceptionErrorMessage(std::exception_ptr object, void* address);

// The operating-system exception that the runtime's top-level filter is handling on this thread
// (set while the filter runs ExceptObjProc and ExceptProc), or null. Gives the exception-object
// hook the faulting thread's CPU context.
EXCEPTION_POINTERS* CurrentExceptionPointers();

// True for the code the GCC unwinder of 64-bit Windows raises a C++ throw with (0x20474343, and
// its variants in the top bits). Such an exception reaching the top-level filter is an uncaught
// throw that the C++ runtime itself ends; the filter passes it on instead of turning it into an
// EExternalException.
inline bool IsGccThrowCode(DWORD code) { return (code & 0x20FFFFFF) == 0x20474343; }

// Where the exception being raised on this thread was thrown from (the return address of the
// language raise), or null.
void* RaiseAddress();

// 32-bit: the thrower's callee-saved registers, stack pointer and return address at its last
// C++ throw (the link's __cxa_throw wrapper records them on the way in, without unwinding).
// True and filled once for the object thrown (Object); the record is used up.
struct TThrowRegisters {
  uint32_t Ebx, Esi, Edi, Ebp, Esp, ReturnAddress;
};
bool TakeThrowRegisters(const void* object, TThrowRegisters& registers);

// Where the link's __cxa_throw wrapper goes once it recorded the raise (32-bit: the registers,
// then a jump, so the thrower's frame is the next one up); null: the C++ runtime's own
// __cxa_throw. The crash reporter's capture puts its own there, which does __cxa_throw's work
// in one frame with the raise hook's.
#if defined(__i386__)
using TThrowDestructor = void(__attribute__((thiscall)) *)(void*);  // the C++ ABI's on 32-bit
#else
using TThrowDestructor = void (*)(void*);
#endif
using TThrowEntry = void (*)(void* object, std::type_info* type, TThrowDestructor destructor);
void SetThrowEntry(TThrowEntry entry);

// Class name and message of any thrown object ("Exception" base class: its Message;
// std::exception: what(); other types: empty message).
std::string ExceptionClassName(std::exception_ptr object);
std::string ExceptionMessage(std::exception_ptr object);

// Full path of the module that contains Address (empty when none does).
std::string ModuleFileNameOf(const void* address);
// Full path of the module handle's file.
std::string ModuleFileName(HMODULE module);
// The system's text for an error code, without trailing line breaks or spaces.
std::string SysErrorMessage(DWORD code);

}  // namespace vl::rtl
