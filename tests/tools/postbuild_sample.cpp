// The post-build sample's routines: known names at known lines, built without optimisation so
// that each routine's first instruction belongs to the line that opens it.
#include "postbuild_sample.h"

namespace sample {

int TTarget::Run(int value) {  // LINE-MARK: run-entry
  return value * 7 + 1;
}

uintptr_t TTarget::CallInline(int value) {  // LINE-MARK: call-inline-entry
  return InlinedHeaderCode(value + 1);
}

}  // namespace sample

int FreeRoutine(int value) {  // LINE-MARK: free-entry
  return value - 2;
}
