// A GUI program built against the installed crash reporter, with its own WinMain: the same
// uncaught exception, reported without a word from the program.
#include <windows.h>

#include <stdexcept>

namespace {

[[gnu::noinline]] void ReadSettings() {
  throw std::runtime_error("sample: The sample's settings are missing");
}

[[gnu::noinline]] void OpenSession() {
  ReadSettings();
  asm volatile("");
}

[[gnu::noinline]] void MainBlock() {
  OpenSession();
  asm volatile("");
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  MainBlock();
  return 0;
}
