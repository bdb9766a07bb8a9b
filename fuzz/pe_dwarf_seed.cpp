// A freestanding program (no C runtime) whose small PE files seed the PE and DWARF fuzz target.
namespace Forms {
struct TApplication {
  int Title() const { return title * 3; }
  int Run(int value);
  int title;
};
int TApplication::Run(int value) { return value + Title(); }
}  // namespace Forms
namespace {
int Hidden(int value) { return value ^ 5; }
}  // namespace
extern "C" int Start() {
  Forms::TApplication app{2};
  return Hidden(app.Run(1));
}
