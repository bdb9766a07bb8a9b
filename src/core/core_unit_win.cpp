// The Windows side of the crash-reporter core: process facts, the platform calls of the trace,
// the error reports and the options, and the unit that sets them up.
#include "core/core_unit_win.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <exception>

#include "core/file_names.h"
#include "core/internal_errors.h"
#include "core/module_options.h"
#include "core/trace.h"
#include "runtime/command_line.h"
#include "runtime/exceptions.h"
#include "runtime/memory_access.h"
#include "runtime/system.h"

namespace vl {

// Kept by the linker option of vl_core_win so that the unit below is always linked in.
extern "C" {
extern int vl_core_unit_link;
int vl_core_unit_link = 0;
}

static_assert(core::mbYesNo == MB_YESNO && core::mbIconError == MB_ICONERROR &&
                  core::mbIconWarning == MB_ICONWARNING && core::mbTaskModal == MB_TASKMODAL &&
                  core::mbTopMost == MB_TOPMOST &&
                  core::mbServiceNotification == MB_SERVICE_NOTIFICATION && core::idYes == IDYES &&
                  core::idOk == IDOK,
              "message-box values");

bool IsDebuggerAttached() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!kernel) return false;
  using IsDebuggerPresentProc = BOOL(WINAPI*)();
  auto present = reinterpret_cast<IsDebuggerPresentProc>(
      reinterpret_cast<void (*)()>(GetProcAddress(kernel, "IsDebuggerPresent")));
  if (present) return present() != FALSE;
  // Systems without IsDebuggerPresent: under a debugger the loader hands out a thunk below
  // the module's image.
  auto getProc = reinterpret_cast<uintptr_t>(GetProcAddress(kernel, "GetProcAddress"));
  return getProc < reinterpret_cast<uintptr_t>(kernel);
}

namespace core {
namespace {

HMODULE OwnModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&OwnModule), &module);
  return module;
}

void WriteWholeFile(const std::string& path, const std::string& contents) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw EFCreateError(path, rtl::SysErrorMessage(GetLastError()));
  size_t done = 0;
  bool ok = true;
  while (ok && done < contents.size()) {
    DWORD part = static_cast<DWORD>(std::min<size_t>(contents.size() - done, 1u << 20));
    DWORD written = 0;
    ok = WriteFile(file, contents.data() + done, part, &written, nullptr) && written == part;
    done += written;
  }
  DWORD error = GetLastError();
  CloseHandle(file);
  if (!ok) throw EFCreateError(path, rtl::SysErrorMessage(error));
}

void DebugOutput(const std::string& text) { OutputDebugStringA(text.c_str()); }

int ShowBox(const std::string& text, const std::string& caption, uint32_t style) {
  return MessageBoxA(nullptr, text.c_str(), caption.c_str(), style);
}

uintptr_t CurrentErrorAddress() {
  std::exception_ptr p = std::current_exception();
  if (!p) return 0;
  try {
    std::rethrow_exception(p);
  } catch (const EExternal& e) {
    return e.ExceptionAddress;
  } catch (...) {
  }
  return reinterpret_cast<uintptr_t>(rtl::RaiseAddress());
}

}  // namespace

bool ReadModuleMemory(uintptr_t address, void* buffer, size_t count) {
  if (count == 0 || address + count < address) return false;  // wraps around
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(address), &module))
    return false;
  if (!rtl::IsReadableRange(reinterpret_cast<const void*>(address), count)) return false;
  std::memcpy(buffer, reinterpret_cast<const void*>(address), count);
  return true;
}

namespace {

bool IsCrashReporterModule(const std::string& moduleName) {
  if (moduleName.empty()) return false;
  HMODULE named = GetModuleHandleA(moduleName.c_str());
  return named != nullptr && named == OwnModule();
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

void InstallCorePlatform() {
  SetTraceFileWriter(WriteWholeFile);
  TSeams& seams = Seams();
  seams.DebugOutput = DebugOutput;
  seams.ShowMessageBox = ShowBox;
  seams.CurrentErrorAddress = CurrentErrorAddress;
  seams.ReadModuleMemory = ReadModuleMemory;
  seams.IsCrashReporterModule = IsCrashReporterModule;
}

namespace {

void Initialization() {
  std::vector<std::string> args = rtl::SplitCommandLine(GetCommandLineA());
  if (!args.empty()) args.erase(args.begin());  // the program's own path
  SetTraceSwitches(TraceSwitchesFromArguments(args));

  std::string exe = rtl::ModuleFileName(nullptr);
  SetTraceFileName(ChangeFileExt(exe, ".log"));
  SetRunningInIDE(!exe.empty() && Upper(ExtractFileName(exe)) == DevelopmentEnvironmentExe);
  InstallCorePlatform();
}

void Finalization() { ClearTrace(); }

// First of the crash reporter's units: the others trace during their initialisation and
// finalisation, so the trace state must exist before them and outlive them.
VL_UNIT_REGISTRATION const rtl::UnitRegistration kUnit("VantorLogCore",
                                                       rtl::UnitOrderCrashReporter - 20,
                                                       Initialization, Finalization);

}  // namespace
}  // namespace core

}  // namespace vl
