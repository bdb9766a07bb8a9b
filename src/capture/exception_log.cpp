#include "capture/exception_log.h"

#include "capture/interception.h"

namespace ExceptionLog {

bool HandleFrameworkException() noexcept {
  try {
    return capture::ExceptionManager();
  } catch (...) {
    return true;  // the crash reporter failed: the caller's own handling must not be lost
  }
}

}  // namespace ExceptionLog
