#include <cstdio>

#include "widget.h"

namespace helpers {
int Square(int value) {  // LINE-MARK: square-entry
  return value * value;
}
template <typename T>
T Larger(T a, T b) {  // LINE-MARK: larger-entry
  return a > b ? a : b;
}
}  // namespace helpers

int main(int argc, char**) {  // LINE-MARK: main-entry
  Forms::TApplication application(argc);
  application.HandleException(helpers::Square(argc));
  outer::inner::Counter counter;
  outer::Shell::Inner inner;
  std::printf("%d %d %d %d\n", Compute(argc), application.Title(), counter.Add(argc),
              helpers::Larger(inner.Get(), argc));
  return 0;
}
