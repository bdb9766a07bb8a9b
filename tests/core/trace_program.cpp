// A program with the crash-reporter core linked in, run by core_windows_test. Its first
// argument says what to do; the trace switches come from its last argument as in any program:
//   lines     - traces a nested call and saves the trace if asked to (as shut-down does)
//   exit      - traces a nested call and ends the process at once, without saving
//   bug       - a failure inside a pipeline step, reported as an internal bug
//   steperror - an SMTP step error (the progress dialog is said to be showing)
#include <windows.h>

#include <string>

#include "core/core_unit_win.h"
#include "core/internal_errors.h"
#include "core/trace.h"
#include "runtime/command_line.h"
#include "runtime/exceptions.h"
#include "runtime/system.h"

using namespace vl;

namespace {

void NestedCall() {
  Trace("Outer", {std::string("C:\\App\\prog.exe"), 42}, 2);
  Trace("Inner", {true}, 2);
  Trace("Inner=", {nullptr}, -2);
  Trace("Outer=", {false}, -2);
  Trace("Facts", {IsDebuggerAttached(), IsRunningInIDE()});
}

void MainBlock() {
  auto args = rtl::SplitCommandLine(GetCommandLineA());
  std::string mode = args.size() > 1 ? args[1] : "";
  if (mode == "lines") {
    NestedCall();
    SaveTraceLogIfRequested();
  } else if (mode == "exit") {
    NestedCall();
    ExitProcess(0);
  } else if (mode == "bug") {
    try {
      throw EConvertError("Step three failed");
    } catch (...) {
      ReportInternalBug("InternalExceptNotify.3");
    }
  } else if (mode == "steperror") {
    core::Seams().IsSmtpProgressShowing = [] { return true; };
    try {
      throw Exception("Connection refused");
    } catch (...) {
      ReportStepError(eeEmailSMTPError, "SMTP");
    }
    SaveTraceLogIfRequested();
  }
}

}  // namespace

int main() { rtl::RunProgram(MainBlock); }
