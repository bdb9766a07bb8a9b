#include "capture/exception_log.h"

#include <exception>

#include "capture/interception.h"

namespace vl::ExceptionLog {

bool HandleFrameworkException() noexcept {
  try {
    // Outside any catch there is nothing being handled: an older record is not reported.
    if (!std::current_exception()) return true;
    return capture::ExceptionManager();
  } catch (...) {
    return true;  // the crash reporter failed: the caller's own handling must not be lost
  }
}

}  // namespace vl::ExceptionLog
