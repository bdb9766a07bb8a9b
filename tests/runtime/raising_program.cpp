// A program on the runtime whose main block fails as its first argument asks:
//   raise  - throws an EConvertError        std  - throws a std::runtime_error
//   av     - writes through a null pointer  div  - divides an integer by zero
//   units FILE - succeeds; the units and the main block write their order into FILE
#include <windows.h>

#include <fstream>
#include <stdexcept>
#include <string>

#include "runtime/command_line.h"
#include "runtime/exceptions.h"
#include "runtime/system.h"

using namespace vl;

namespace {

VL_UNIT_REGISTRATION std::string g_log;  // written by the units at start-up
void Note(const char* what) {
  g_log += what;
  g_log += '\n';
}

void WriteLog() {
  auto args = rtl::SplitCommandLine(GetCommandLineA());
  if (args.size() > 2) std::ofstream(args[2], std::ios::binary) << g_log;
}

VL_UNIT_REGISTRATION const rtl::UnitRegistration kLate(
    "Late", rtl::UnitOrderProgram, [] { Note("init late"); },
    [] {
      Note("done late");
      WriteLog();
    });
VL_UNIT_REGISTRATION const rtl::UnitRegistration kEarly(
    "Early", rtl::UnitOrderCrashReporter, [] { Note("init early"); },
    [] {
      Note("done early");
      WriteLog();
    });

volatile int g_zero = 0;

void MainBlock() {
  auto args = rtl::SplitCommandLine(GetCommandLineA());
  std::string mode = args.size() > 1 ? args[1] : "";
  Note(rtl::InUnitInitialization() ? "main in init" : "main");
  if (mode == "raise") throw EConvertError("'12x' is not a valid integer value");
  if (mode == "std") throw std::runtime_error("plain failure.");
  if (mode == "av") *reinterpret_cast<volatile int*>(static_cast<uintptr_t>(g_zero)) = 1;
  if (mode == "div") g_zero = 10 / g_zero;
  rtl::AddExitProc([] { Note("exit proc"); });
}

}  // namespace

int main() { rtl::RunProgram(MainBlock); }
