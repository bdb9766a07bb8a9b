#include "runtime/system.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <typeinfo>
#include <vector>

#include "runtime/class_names.h"
#include "runtime/exceptions.h"
#include "runtime/file_names.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;  // this module's own image, set by the linker

namespace vl::rtl {

TExceptProc ExceptProc = DefaultExceptProc;
TExceptObjProc ExceptObjProc = DefaultExceptObjProc;
TSafeCallErrorProc SafeCallErrorProc = nullptr;
TInitProc InitProc = nullptr;

namespace {

bool SystemLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != 0; }

struct Unit {
  const char* name;
  int order;
  size_t sequence;
  void (*initialization)();
  void (*finalization)();
  bool initialized;
};

// Kept in initialisation order once the units have started.
std::vector<Unit>& Units() {
  static auto* units = new std::vector<Unit>();
  return *units;
}

std::vector<void (*)()>& ExitProcs() {
  static auto* procs = new std::vector<void (*)()>();
  return *procs;
}

bool g_started = false;
bool g_startFailed = false;  // a unit's initialisation raised while a DLL was starting
bool g_inInitialization = false;
bool g_inFinalization = false;
// Written by every throw: one thread-local block (each thread-local access is a call here).
struct TThrowRecord {
  void* RaiseAddress = nullptr;
  const void* Object = nullptr;  // the object the registers are for (32-bit)
  TThrowRegisters Registers = {};
};
thread_local TThrowRecord t_throw;
thread_local EXCEPTION_POINTERS* t_exceptionPointers = nullptr;
LPTOP_LEVEL_EXCEPTION_FILTER g_previousFilter = nullptr;

void InitializeUnit(size_t index) {
  if (Units()[index].initialization) Units()[index].initialization();
  Units()[index].initialized = true;
}

void InitializeUnits() {
  auto& units = Units();
  std::stable_sort(units.begin(), units.end(),
                   [](const Unit& a, const Unit& b) { return a.order < b.order; });
  g_inInitialization = true;
  for (size_t i = 0; i < units.size(); ++i) InitializeUnit(i);
  g_inInitialization = false;
}

// Each unit once, the last initialised first; a unit counts as finalised before its finalisation
// runs, so one that raises is not run again.
void FinalizeUnits() {
  g_inFinalization = true;
  auto& units = Units();
  for (size_t i = units.size(); i-- > 0;) {
    if (!units[i].initialized) continue;
    units[i].initialized = false;
    if (units[i].finalization) units[i].finalization();
  }
}

LONG WINAPI UnhandledExceptionFilterProc(EXCEPTION_POINTERS* info) {
  // An uncaught C++ throw of the 64-bit unwinder: the C runtime's filter lets the raise return,
  // and the C++ runtime then ends the program itself (std::terminate).
  if (IsGccThrowCode(info->ExceptionRecord->ExceptionCode)) {
    return g_previousFilter ? g_previousFilter(info) : EXCEPTION_CONTINUE_SEARCH;
  }
  t_exceptionPointers = info;
  std::exception_ptr object = ExceptObjProc(info->ExceptionRecord);
  ExceptProc(object, info->ExceptionRecord->ExceptionAddress);
  // An exception procedure that returns leaves the process with the failure code.
  Halt(1);
}

}  // namespace

UnitRegistration::UnitRegistration(const char* name, int order, void (*initialization)(),
                                   void (*finalization)()) {
  Units().push_back({name, order, Units().size(), initialization, finalization, false});
  // Registered after the start: nothing else would initialise it.
  if (g_started && !g_inFinalization) InitializeUnit(Units().size() - 1);
}

void AddExitProc(void (*proc)()) { ExitProcs().push_back(proc); }

bool InUnitInitialization() { return g_inInitialization; }
bool InUnitFinalization() { return g_inFinalization; }

namespace {

// Exit procedures (last registered first), then unit finalisation, once: at Halt, when main
// returns or exit is called (after the static objects the program constructed after the start),
// or at a DLL's detach. A raise in either goes to ExceptProc and the rest still runs.
void Finish() {
  static bool finishing = false;
  if (finishing) return;
  finishing = true;
  auto& procs = ExitProcs();
  while (!procs.empty()) {
    void (*proc)() = procs.back();
    procs.pop_back();
    try {
      proc();
    } catch (...) {
      ExceptProc(std::current_exception(), RaiseAddress());
    }
  }
  for (;;) {
    try {
      FinalizeUnits();
      break;
    } catch (...) {
      // The unit whose finalisation raised is done; the others still run.
      ExceptProc(std::current_exception(), RaiseAddress());
    }
  }
}

// The start-up: constructed right after every VL_UNIT_REGISTRATION object, before the program's
// own static objects.
struct TStartUp {
  TStartUp() { StartUnits(); }
};
__attribute__((init_priority(102))) TStartUp g_startUp;

}  // namespace

// Out of line and whole: its start is a last-chance guard that the raise hook's walk knows.
__attribute__((noinline, noipa)) void StartUnits() {
  if (g_started) return;
  g_started = true;
  // File names are split in the process's ANSI code page from here on.
  SetAnsiLeadByte(SystemLeadByte);
  std::atexit(Finish);
  try {
    InitializeUnits();
  }
  VL_PASS_FORCED_UNWIND catch (...) {
    g_inInitialization = false;
    if (IsLibrary()) {
      g_startFailed = true;  // the loader cannot take an exception: the attach fails instead
      return;
    }
    ExceptProc(std::current_exception(), RaiseAddress());
    Halt(1);
  }
}

void InstallLastChanceFilter() {
  static bool installed = false;
  if (installed || IsLibrary()) return;
  installed = true;
  g_previousFilter = SetUnhandledExceptionFilter(UnhandledExceptionFilterProc);
}

void RunProgram(void (*mainBlock)()) {
  InstallLastChanceFilter();
  StartUnits();
  try {
    mainBlock();
  }
  VL_PASS_FORCED_UNWIND catch (...) {
    ExceptProc(std::current_exception(), RaiseAddress());
    Halt(1);
  }
  Halt(0);
}

bool LibraryEntry(HINSTANCE instance, DWORD reason) {
  try {
    if (reason == DLL_PROCESS_ATTACH) {
      DisableThreadLibraryCalls(instance);
      StartUnits();
      return !g_startFailed;
    }
    if (reason == DLL_PROCESS_DETACH) Finish();
    return true;
  } catch (...) {
    return false;
  }
}

bool IsLibrary() { return LibraryInstance() != GetModuleHandleA(nullptr); }
HINSTANCE LibraryInstance() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

bool HoldsLoaderLock() {
  // The process environment block's LoaderLock (a critical section whose OwningThread holds the
  // owner's thread ID), at the same offsets on Windows and Wine.
  const uint8_t* peb = nullptr;
#if defined(__x86_64__)
  __asm__("movq %%gs:0x60, %0" : "=r"(peb));
  const auto* lock = *reinterpret_cast<RTL_CRITICAL_SECTION* const*>(peb + 0x110);
#else
  __asm__("movl %%fs:0x30, %0" : "=r"(peb));
  const auto* lock = *reinterpret_cast<RTL_CRITICAL_SECTION* const*>(peb + 0xA0);
#endif
  return lock && reinterpret_cast<uintptr_t>(lock->OwningThread) == GetCurrentThreadId();
}

void Halt(int exitCode) {
  Finish();
  ExitProcess(static_cast<UINT>(exitCode));
}

void* RaiseAddress() { return t_throw.RaiseAddress; }

HRESULT SafeCall(void (*body)(void* context), void* context) {
  try {
    body(context);
    return S_OK;
  } catch (const EOleException& e) {
    return e.ErrorCode < 0 ? static_cast<HRESULT>(e.ErrorCode) : E_UNEXPECTED;
  }
  VL_PASS_FORCED_UNWIND catch (...) { return E_UNEXPECTED; }
}

__attribute__((noinline)) void CheckSafeCallResult(HRESULT result) {
  if (SUCCEEDED(result)) return;
  if (SafeCallErrorProc) SafeCallErrorProc(result, __builtin_return_address(0));
  RaiseSafeCallError(result);
}

// Kept out of line and whole (not split into a cold part), so its start is the raising routine.
__attribute__((noinline, noipa)) void RaiseSafeCallError(HRESULT result) {
  throw EOleException(Format("Safecall method failed (%08lX)", static_cast<unsigned long>(result)),
                      static_cast<int32_t>(result));
}

EXCEPTION_POINTERS* CurrentExceptionPointers() { return t_exceptionPointers; }

std::string ExceptionClassName(std::exception_ptr object) {
  if (!object) return "Exception";
  try {
    std::rethrow_exception(object);
  } catch (...) {
    const std::type_info* type = CurrentExceptionType();
    return type ? ClassName(*type) : "Exception";
  }
}

std::string ExceptionMessage(std::exception_ptr object) {
  if (!object) return "";
  try {
    std::rethrow_exception(object);
  } catch (const Exception& e) {
    return e.Message;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "";
  }
}

std::string ModuleFileName(HMODULE module) {
  char path[MAX_PATH + 1] = {};
  DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
  return std::string(path, n);
}

std::string ModuleFileNameOf(const void* address) {
  MEMORY_BASIC_INFORMATION info = {};
  if (!address || VirtualQuery(address, &info, sizeof info) == 0 || !info.AllocationBase) return "";
  if (info.Type != MEM_IMAGE) return "";
  return ModuleFileName(static_cast<HMODULE>(info.AllocationBase));
}

std::string SysErrorMessage(DWORD code) {
  char* text = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                           nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result(text ? text : "", n);
  if (text) LocalFree(text);
  while (!result.empty() && static_cast<unsigned char>(result.back()) <= ' ') result.pop_back();
  return result;
}

std::string ExceptionErrorMessage(std::exception_ptr object, void* address) {
  std::string module = ExtractFileName(ModuleFileNameOf(address));
  std::string message = ExceptionMessage(object);
  const char* dot =
      (!message.empty() && static_cast<unsigned char>(message.back()) > '.') ? "." : "";
  char addr[32];
  std::snprintf(addr, sizeof addr, "%0*llX", static_cast<int>(sizeof(void*) * 2),
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address)));
  return Format("Exception %s in module %s at %s.\r\n%s%s\r\n", ExceptionClassName(object).c_str(),
                module.c_str(), addr, message.c_str(), dot);
}

void ShowException(std::exception_ptr object, void* address) {
  std::string text = ExceptionErrorMessage(object, address);
  MessageBoxA(nullptr, text.c_str(), "Application Error", MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

void DefaultExceptProc(std::exception_ptr object, void* address) {
  ShowException(object, address);
  Halt(1);
}

std::exception_ptr DefaultExceptObjProc(EXCEPTION_RECORD* record) {
  const uint32_t code = record->ExceptionCode;
  const auto address = reinterpret_cast<uintptr_t>(record->ExceptionAddress);
  const int width = static_cast<int>(sizeof(void*) * 2);
  auto make = [&](auto tag, const std::string& message) {
    using Class = decltype(tag);
    return std::make_exception_ptr(Class(message, code, address));
  };
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION: {
      const char* access = "Read";
      uintptr_t target = 0;
      if (record->NumberParameters >= 2) {
        if (record->ExceptionInformation[0] == 1) access = "Write";
        if (record->ExceptionInformation[0] == 8) access = "Execute";
        target = record->ExceptionInformation[1];
      }
      std::string module = ExtractFileName(ModuleFileNameOf(record->ExceptionAddress));
      return make(EAccessViolation("", 0, 0),
                  Format("Access violation at address %0*llX in module '%s'. %s of address %0*llX",
                         width, static_cast<unsigned long long>(address), module.c_str(), access,
                         width, static_cast<unsigned long long>(target)));
    }
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
      return make(EDivByZero("", 0, 0), "Division by zero");
    case EXCEPTION_INT_OVERFLOW:
      return make(EIntOverflow("", 0, 0), "Integer overflow");
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
      return make(ERangeError("", 0, 0), "Range check error");
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
      return make(EZeroDivide("", 0, 0), "Floating point division by zero");
    case EXCEPTION_FLT_OVERFLOW:
      return make(EOverflow("", 0, 0), "Floating point overflow");
    case EXCEPTION_FLT_UNDERFLOW:
      return make(EUnderflow("", 0, 0), "Floating point underflow");
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_STACK_CHECK:
      return make(EInvalidOp("", 0, 0), "Invalid floating point operation");
    case EXCEPTION_STACK_OVERFLOW:
      return make(EStackOverflow("", 0, 0), "Stack overflow");
    case 0xC0000374:  // STATUS_HEAP_CORRUPTION
      return make(EHeapCorruption("", 0, 0), "Heap corruption");
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
      return make(EPrivilege("", 0, 0), "Privileged instruction");
    case CONTROL_C_EXIT:
      return make(EControlC("", 0, 0), "Control-C hit");
    default:
      return make(EExternalException("", 0, 0), Format("External exception %X", code));
  }
}

}  // namespace vl::rtl

// The language raise: every C++ throw of the program passes here (the link wraps __cxa_throw),
// so the runtime knows the raise address for its error box.
#if defined(__x86_64__)
extern "C" {
[[noreturn]] void __real___cxa_throw(void* object, std::type_info* type,
                                     vl::rtl::TThrowDestructor destructor);
vl::rtl::TThrowEntry vl_ThrowEntry = __real___cxa_throw;
[[noreturn]] void __wrap___cxa_throw(void* object, std::type_info* type,
                                     vl::rtl::TThrowDestructor destructor) {
  vl::rtl::t_throw.RaiseAddress = __builtin_return_address(0);
  vl_ThrowEntry(object, type, destructor);
  __builtin_unreachable();
}
}

namespace vl::rtl {
bool TakeThrowRegisters(const void*, TThrowRegisters&) { return false; }
void SetThrowEntry(TThrowEntry entry) { vl_ThrowEntry = entry ? entry : __real___cxa_throw; }
}  // namespace vl::rtl
#else
namespace vl::rtl {
bool TakeThrowRegisters(const void* object, TThrowRegisters& registers) {
  TThrowRecord& record = t_throw;
  if (!object || object != record.Object) return false;
  record.Object = nullptr;
  registers = record.Registers;
  return true;
}
}  // namespace vl::rtl

// Saved: EBX, ESI, EDI, EBP as the thrower left them, then the return address and the three
// arguments of __cxa_throw, the first being the thrown object.
extern "C" void __cdecl vl_RecordThrow(const uint32_t* saved) {
  // Thread-local storage may go through TlsGetValue, which clears the last error.
  const DWORD lastError = GetLastError();
  vl::rtl::TThrowRecord& record = vl::rtl::t_throw;
  record.RaiseAddress = reinterpret_cast<void*>(saved[4]);
  record.Registers = {saved[0],
                      saved[1],
                      saved[2],
                      saved[3],
                      static_cast<uint32_t>(reinterpret_cast<uintptr_t>(saved + 5)),
                      saved[4]};
  record.Object = reinterpret_cast<const void*>(saved[5]);
  SetLastError(lastError);
}

extern "C" {
[[noreturn]] void __real___cxa_throw(void* object, std::type_info* type,
                                     vl::rtl::TThrowDestructor destructor);
// Read by the wrapper below on every throw.
vl::rtl::TThrowEntry vl_ThrowEntry = __real___cxa_throw;
}

void vl::rtl::SetThrowEntry(TThrowEntry entry) {
  vl_ThrowEntry = entry ? entry : __real___cxa_throw;
}

// The thrower's registers are exactly those at this entry: saved, recorded, restored, and
// __cxa_throw (or the entry put in its place) entered by a jump, so that it returns (unwinds)
// straight to the thrower.
__asm__(
    ".text\n"
    ".globl ___wrap___cxa_throw\n"
    ".def ___wrap___cxa_throw; .scl 2; .type 32; .endef\n"
    "___wrap___cxa_throw:\n"
    "  pushl %ebp\n"
    "  pushl %edi\n"
    "  pushl %esi\n"
    "  pushl %ebx\n"
    "  pushl %esp\n"
    "  call _vl_RecordThrow\n"
    "  addl $4, %esp\n"
    "  popl %ebx\n"
    "  popl %esi\n"
    "  popl %edi\n"
    "  popl %ebp\n"
    "  jmp *_vl_ThrowEntry\n");
#endif
