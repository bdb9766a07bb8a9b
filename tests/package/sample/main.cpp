// A console program built against the installed crash reporter: the exception thrown three calls
// deep is caught by nobody, so the crash reporter writes it to the log and the program ends with
// exit code 1.
#include <stdexcept>

#include "runtime/system.h"

namespace {

[[gnu::noinline]] void ReadSettings() {
  throw std::runtime_error("The sample's settings are missing");
}

[[gnu::noinline]] void OpenSession() {
  ReadSettings();
  asm volatile("");  // keeps the call a call, not a jump
}

[[gnu::noinline]] void MainBlock() {
  OpenSession();
  asm volatile("");
}

}  // namespace

int main() { vl::rtl::RunProgram(MainBlock); }
