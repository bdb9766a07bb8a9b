// C++03 code with dynamic exception specifications (see dynamic_spec.h).
#include <stdexcept>

struct ESpecListed {
  virtual ~ESpecListed() = default;
};

__attribute__((noinline)) void ThrowListed() throw(ESpecListed, std::logic_error) {
  throw ESpecListed();
}

__attribute__((noinline)) void ThrowUnlisted() throw(ESpecListed) {
  throw std::runtime_error("not in the list");
}
