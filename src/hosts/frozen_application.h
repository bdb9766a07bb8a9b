// The exception reported for a main thread that stopped taking messages. It is never thrown:
// the freeze watchdog makes it with std::make_exception_ptr and hands it to the notification.
#pragma once

#include "runtime/exceptions.h"

namespace vl {

class EFrozenApplication : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace vl
