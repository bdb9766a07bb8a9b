// A program for the capture's child-process tests: "capture_scenario <case> <notes file>". It
// runs through the runtime's program runner; built twice, with a data block (the capture is
// active and a recording notification appends one line per notification to the notes file) and
// without one (the capture stays inactive and touches nothing).
#include <process.h>
#include <unwind.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "capture/capture_state.h"
#include "capture/exception_log.h"
#include "capture/raise_hook.h"
#include "capture/raise_state.h"
#include "capture/thrown_object.h"
#include "dynamic_spec.h"
#include "hooking/hooking.h"
#include "runtime/command_line.h"
#include "runtime/exceptions.h"
#include "runtime/system.h"
#include "runtime/thread.h"

using namespace vl;

namespace {

struct ECustom : Exception {
  using Exception::Exception;
};

VL_UNIT_REGISTRATION std::string g_case;
VL_UNIT_REGISTRATION std::string g_notes;
uint8_t g_raiseBytes[16];

void Append(const std::string& line) {
  HANDLE f = CreateFileA(g_notes.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  std::string text = line + "\n";
  WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(f);
}

// Another thread's notification waits (10 s at most) for the main thread to catch an exception
// of its own meanwhile: a caught raise must not wait for the busy flag.
HANDLE g_inNotification = nullptr;
HANDLE g_mainCaught = nullptr;

bool Record(std::exception_ptr object, void* address, bool fromRaise, CONTEXT*, uintptr_t,
            uintptr_t) {
  capture::TThreadRaiseState& state = capture::CurrentRaiseState();
  std::string name, message;
  if (fromRaise && state.ThrownType) {
    capture::TThrownObject thrown{state.ThrownObject, state.ThrownType};
    name = capture::ThrownClassName(thrown);
    message = capture::ThrownMessage(thrown);
  } else {
    name = rtl::ExceptionClassName(object);
    message = rtl::ExceptionMessage(object);
  }
  if (message == "busy") {
    SetEvent(g_inNotification);
    Append(WaitForSingleObject(g_mainCaught, 10000) == WAIT_OBJECT_0 ? "MAIN CAUGHT FIRST"
                                                                     : "MAIN WAITED");
  }
  char line[512];
  std::snprintf(line, sizeof line, "NOTE %s|%s|%08lX|%d|%d", name.c_str(), message.c_str(),
                static_cast<unsigned long>(state.Context.ContextFlags), fromRaise ? 1 : 0,
                address ? 1 : 0);
  Append(line);
  return false;
}

[[noreturn]] __attribute__((noinline)) void ThrowCustom(const char* message) {
  throw ECustom(message);
}

// A thrown class that counts its live objects: the reporter must not keep one past its catch.
int g_live = 0;
struct ECounted : ECustom {
  ECounted() : ECustom("counted") { ++g_live; }
  ECounted(const ECounted& other) : ECustom(other) { ++g_live; }
  ~ECounted() override { --g_live; }
};

// The end of a forced unwind: the thread (or program) ends with 7 at the top of its stack.
_Unwind_Reason_Code StopAtTheTop(int, _Unwind_Action actions, _Unwind_Exception_Class,
                                 _Unwind_Exception*, _Unwind_Context*, void*) {
  if (actions & _UA_END_OF_STACK) {
    Append("FORCED UNWIND DONE");
    if (GetCurrentThreadId() == capture::MainThreadId.load()) ExitProcess(7);
    ExitThread(7);
  }
  return _URC_NO_REASON;
}
_Unwind_Exception g_forced;

__attribute__((noinline)) void UnwindForced() {
  g_forced.exception_class = 0x564C46554E57494EULL;  // "VLFUNWIN": nobody's C++ exception
  g_forced.exception_cleanup = nullptr;
  _Unwind_ForcedUnwind(&g_forced, StopAtTheTop, nullptr);
}

DWORD ForcedUnwindThread(void*) {
  UnwindForced();
  return 0;
}

DWORD WINAPI BusyThread(void*) { ThrowCustom("busy"); }

__attribute__((noinline)) void NoExcept() noexcept { ThrowCustom("in noexcept"); }

DWORD WINAPI PlainThread(void*) { ThrowCustom("plain thread"); }

unsigned __stdcall CrtThread(void*) { ThrowCustom("crt thread"); }

// A program unit whose initialisation fails in the "unitinit" case.
void FailingInit() {
  if (g_case == "unitinit") ThrowCustom("in unit init");
}
VL_UNIT_REGISTRATION const rtl::UnitRegistration g_failing("Failing", rtl::UnitOrderProgram,
                                                           FailingInit, nullptr);

// Runs after the crash reporter's shut-down: are the runtime's procedures its own again?
void CheckRestored() {
  if (g_case != "procs") return;
  char line[128];
  std::snprintf(line, sizeof line, "RESTORED %d%d%d%d", rtl::ExceptProc == rtl::DefaultExceptProc,
                rtl::ExceptObjProc == rtl::DefaultExceptObjProc, rtl::InitProc == nullptr,
                rtl::SafeCallErrorProc == nullptr);
  Append(line);
}
VL_UNIT_REGISTRATION const rtl::UnitRegistration g_check("Check", rtl::UnitOrderCrashReporter - 50,
                                                         nullptr, CheckRestored);

// A code of the program's own, raised through the same import as the C++ throws.
constexpr DWORD OtherCode = 0xE0564C01;
bool g_otherCodeSeen = false;

LONG WINAPI SeeOtherCode(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
  if (record->ExceptionCode != OtherCode) return EXCEPTION_CONTINUE_SEARCH;
  g_otherCodeSeen = record->NumberParameters == 1 && record->ExceptionInformation[0] == 77;
  return EXCEPTION_CONTINUE_EXECUTION;
}

void MainBlock() {
  char line[128];
  std::snprintf(line, sizeof line, "INSTALLED %d %d %d", capture::CaptureInstalled.load() ? 1 : 0,
                static_cast<int>(hooking::HookedProcedureCount()),
                static_cast<int>(hooking::ImportHookCount()));
  Append(line);
  Append(std::string("PROLOGUE ") +
         (std::memcmp(g_raiseBytes, reinterpret_cast<const void*>(&_Unwind_RaiseException), 16) == 0
              ? "same"
              : "changed"));
  if (g_case == "escape") ThrowCustom("escape");
  if (g_case == "noexcept") {
    try {
      NoExcept();
    } catch (...) {
      Append("CAUGHT");
    }
  }
  if (g_case == "plainthread") {
    HANDLE h = CreateThread(nullptr, 0, PlainThread, nullptr, 0, nullptr);
    WaitForSingleObject(h, 20000);
    DWORD code = 99;
    GetExitCodeThread(h, &code);
    CloseHandle(h);
    Append("THREAD " + std::to_string(code));
  }
  if (g_case == "crtthread") {
    auto h = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, CrtThread, nullptr, 0, nullptr));
    WaitForSingleObject(h, 20000);
    CloseHandle(h);
    Append("CRT THREAD ENDED");
  }
  if (g_case == "av") *static_cast<volatile int*>(nullptr) = 1;
  if (g_case == "div") {
    volatile int zero = 0;
    volatile int result = 10 / zero;
    (void)result;
  }
  if (g_case == "framework") {
    // A framework's last-chance catch hands the exception it is handling to the crash reporter.
    try {
      ThrowCustom("framework");
    } catch (...) {
      Append(ExceptionLog::HandleFrameworkException() ? "OWN HANDLING" : "SKIP OWN HANDLING");
    }
  }
  if (g_case == "importraise") {
    Append(std::string("RAISE HOOK ") +
           (capture::RaiseHookKind() == capture::TRaiseHookKind::rhImport ? "import" : "other"));
    try {
      ThrowCustom("caught through the import");
    } catch (const ECustom&) {
      Append("CAUGHT");
    }
    // Another code passes the redirected import untouched and reaches the system's dispatch.
    PVOID handler = AddVectoredExceptionHandler(1, SeeOtherCode);
    const ULONG_PTR argument = 77;
    RaiseException(OtherCode, 0, 1, &argument);
    RemoveVectoredExceptionHandler(handler);
    Append(g_otherCodeSeen ? "OTHER CODE PASSED" : "OTHER CODE LOST");
    ThrowCustom("escape through the import");
  }
  if (g_case == "lifetime") {
    try {
      throw ECounted();
    } catch (const ECounted&) {
    }
    try {
      try {
        throw ECounted();
      } catch (...) {
        throw;
      }
    } catch (const ECounted&) {
    }
    std::exception_ptr kept = std::make_exception_ptr(ECounted());
    try {
      std::rethrow_exception(kept);
    } catch (const ECounted&) {
    }
    kept = nullptr;
    Append("LIVE " + std::to_string(g_live));
  }
  if (g_case == "listed" || g_case == "unlisted") {
    try {
      if (g_case == "listed") ThrowListed();
      ThrowUnlisted();
    } catch (...) {
      Append("CAUGHT");
    }
  }
  if (g_case == "forcedthread") {
    HANDLE h = rtl::BeginThread(nullptr, 0, ForcedUnwindThread, nullptr, 0, nullptr);
    WaitForSingleObject(h, 20000);
    DWORD code = 99;
    GetExitCodeThread(h, &code);
    CloseHandle(h);
    Append("THREAD " + std::to_string(code));
  }
  if (g_case == "forcedmain") UnwindForced();
  if (g_case == "busy") {
    g_inNotification = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_mainCaught = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE h = CreateThread(nullptr, 0, BusyThread, nullptr, 0, nullptr);
    WaitForSingleObject(g_inNotification, 10000);
    try {
      ThrowCustom("main");
    } catch (const ECustom&) {
      SetEvent(g_mainCaught);
    }
    WaitForSingleObject(h, 20000);
    CloseHandle(h);
  }
  if (g_case == "caught") {
    try {
      ThrowCustom("caught");
    } catch (const ECustom&) {
      Append("CAUGHT");
    }
  }
}

// Set before the units start (they start before main): the case, the recorder, the raise
// routine's first bytes as they were.
struct TSetUp {
  TSetUp() {
    std::memcpy(g_raiseBytes, reinterpret_cast<const void*>(&_Unwind_RaiseException), 16);
    std::vector<std::string> args = rtl::SplitCommandLine(GetCommandLineA());
    g_case = args.size() > 1 ? args[1] : "";
    g_notes = args.size() > 2 ? args[2] : "capture_scenario.notes";
    capture::Seams().ExceptNotify = Record;
    if (g_case == "importraise") capture::RefuseRaiseCodePatch = true;
  }
};
VL_UNIT_REGISTRATION TSetUp g_setUp;

}  // namespace

int main() { rtl::RunProgram(MainBlock); }
