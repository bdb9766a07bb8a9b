#include "widget.h"

#include <cstdio>

namespace Forms {

void TApplication::HandleException(int code) {   // LINE-MARK: handle-entry
  std::printf("exception %d\n", code + title_);  // LINE-MARK: handle-body
}

}  // namespace Forms

int outer::inner::Counter::Add(int step) {  // LINE-MARK: add-entry
  return step + 1;
}

int outer::Shell::Inner::Get() const {  // LINE-MARK: inner-get-entry
  return 7;
}

namespace {
int Hidden(int value) {  // LINE-MARK: hidden-entry
  return value ^ 0x55;
}
}  // namespace

int Compute(int value) {  // LINE-MARK: compute-entry
  int doubled = Twice(value);
  return Hidden(doubled);
}
