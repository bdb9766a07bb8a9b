// Sample program for the debug-information reader tests: a class in a namespace, inline code
// in a header (always inlined, and one left out of line), a nested namespace.
#pragma once

namespace Forms {

class TApplication {
 public:
  explicit TApplication(int title) : title_(title) {}
  void HandleException(int code);
  int Title() const {
    return title_ * 3;  // LINE-MARK: title-body
  }
  int title_;
};

}  // namespace Forms

namespace outer {
namespace inner {
struct Counter {
  int Add(int step);
};
}  // namespace inner
struct Shell {
  struct Inner;
};
}  // namespace outer

// A nested class defined outside its enclosing class.
struct outer::Shell::Inner {
  int Get() const;
};

__attribute__((always_inline)) inline int Twice(int value) {
  return value + value;  // LINE-MARK: twice-body
}

int Compute(int value);
