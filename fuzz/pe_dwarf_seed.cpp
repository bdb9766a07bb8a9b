// A freestanding program (no C runtime) whose small PE files seed the PE and DWARF fuzz target
// (corpus/pe_dwarf/tiny_*): for ARCH i686 and x86_64 and DWARF 4 and 5,
//   ARCH-w64-mingw32-g++-posix -g -gdwarf-N -O0 -nostdlib -fno-exceptions
//     -fno-asynchronous-unwind-tables -Wl,-e,Start (i686: _Start) -o tiny_ARCH_dwarfN.exe
// and each .raw seed holds the same file's seven debug sections in the target's raw form (see
// pe_dwarf_fuzz.cpp), cut out with objcopy --dump-section.
namespace vl::Forms {
struct TApplication {
  int Title() const { return title * 3; }
  int Run(int value);
  int title;
};
int TApplication::Run(int value) { return value + Title(); }
}  // namespace vl::Forms
namespace {
int Hidden(int value) { return value ^ 5; }
}  // namespace
extern "C" int Start() {
  Forms::TApplication app{2};
  return Hidden(app.Run(1));
}
