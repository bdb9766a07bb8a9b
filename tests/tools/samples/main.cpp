#include <cstdio>

#include "widget.h"

namespace helpers {
int Square(int value) {  // LINE-MARK: square-entry
  return value * value;
}
}  // namespace helpers

int main(int argc, char**) {  // LINE-MARK: main-entry
  Forms::TApplication application(argc);
  application.HandleException(helpers::Square(argc));
  outer::inner::Counter counter;
  std::printf("%d %d %d\n", Compute(argc), application.Title(), counter.Add(argc));
  return 0;
}
