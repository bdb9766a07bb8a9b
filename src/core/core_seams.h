// The core's links to the platform and to the layers above it: one struct of procedure
// pointers. The core's Windows unit fills the platform calls at start-up; the upper layers fill
// theirs (see each entry and vantorlog::ConnectSeams for the order); tests fill stand-ins. A null
// entry means "not available", with the fallback each entry states.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vl {

class TVantorModuleOptions;

namespace core {

struct TSeams {
  // ---- The error reports (internal_errors.h) ----
  // Debugger output (OutputDebugStringA). Null: nothing.
  void (*DebugOutput)(const std::string& text) = nullptr;
  // A message box without owner; returns the button pressed. Null: idNo / idOk. (Not named
  // MessageBox: <windows.h> makes that a macro, and the struct would differ between units.)
  int (*ShowMessageBox)(const std::string& text, const std::string& caption,
                        uint32_t style) = nullptr;
  // True while the SMTP progress dialog is showing (set by the dialogs). Null: false.
  bool (*IsSmtpProgressShowing)() = nullptr;
  // Address at which the error being handled was raised, 0 when unknown. Null: the address
  // carried by an EExternal, else 0.
  uintptr_t (*CurrentErrorAddress)() = nullptr;
  // Copies Count bytes at Address when the range lies inside a loaded module, is readable
  // and does not wrap around. Null: false.
  bool (*ReadModuleMemory)(uintptr_t address, void* buffer, size_t count) = nullptr;
  // Sends a mail through the user's mail client (Simple MAPI) with one attached file; returns
  // false when it could not (set by the delivery's unit). Null: false.
  bool (*SendMapiMail)(const std::string& recipient, const std::string& subject,
                       const std::string& body, const std::string& attachment) = nullptr;

  // ---- The options (module_options.h) ----
  // True when ModuleName names the module that contains the crash reporter (the module handle
  // the system gives for the name equals our own). Null: false, so Changed is never called.
  bool (*IsCrashReporterModule)(const std::string& moduleName) = nullptr;
  // Replaces this module's "MODULE" virtual file with Data (set by the module registry). Null:
  // the options are not published.
  void (*PublishModuleFile)(const std::vector<uint8_t>& data) = nullptr;
  // True when Options is the running module's options (CurrentVantorLogOptions; set by the
  // pipeline). Null: false, so the watchdog is never touched.
  bool (*IsCurrentOptions)(const TVantorModuleOptions* options) = nullptr;
  // Start / stop the freeze watchdog (set by the assembly). Null: nothing.
  void (*StartFreezeWatchdog)() = nullptr;
  void (*StopFreezeWatchdog)() = nullptr;
};
TSeams& Seams();

}  // namespace core

}  // namespace vl
