// A console program built against the installed crash reporter, with an ordinary main and
// nothing to call: the exception thrown three calls deep is caught by nobody, so the crash
// reporter writes it to the log and the program ends with exit code 1. The program has its own
// global Exception, Format and Trace, common names that the reporter's must leave alone. With
// the argument "fault" it writes through a null pointer instead.
#include <cstdarg>
#include <cstdio>
#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& text) : std::runtime_error("sample: " + text) {}
  virtual int Severity() const { return 2; }
};

std::string Format(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

void Trace(const std::string& line) { std::fputs((line + "\n").c_str(), stdout); }

namespace {

[[gnu::noinline]] void ReadSettings() {
  Trace("reading settings");
  throw Exception(Format("The sample's %s are missing", "settings"));
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

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "fault") *static_cast<volatile int*>(nullptr) = 1;
  MainBlock();
  return 0;
}
