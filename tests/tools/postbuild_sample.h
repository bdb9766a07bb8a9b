// Code of the post-build sample that the compiler always inlines into its callers, so that its
// addresses lie inside the caller's function but belong to this header's lines.
#pragma once

#include <cstdint>

namespace sample {

// The address of an instruction of the inlined body.
__attribute__((always_inline)) inline uintptr_t InlinedHeaderCode(int value) {
  volatile int tripled = value * 3;  // LINE-MARK: header-body
here:
  asm volatile("" : : "r"(tripled));
  return reinterpret_cast<uintptr_t>(&&here);
}

class TTarget {
 public:
  int Run(int value);
  uintptr_t CallInline(int value);
};

}  // namespace sample
