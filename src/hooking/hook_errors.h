// Errors of the hooking engine.
#pragma once

#include <string>

#include "runtime/exceptions.h"

namespace vl {

class EHookError : public Exception {
 public:
  using Exception::Exception;
};

// "Cannot hook a null procedure (\"%s\")." with the routine's display name.
class EProcNull : public EHookError {
 public:
  explicit EProcNull(const std::string& name);
};

// "Cannot hook the procedure \"%s\"." with the routine's display name.
class EHookingError : public EHookError {
 public:
  explicit EHookingError(const std::string& name);
};

// "Cannot hook the module \"%s\" located into the shared-area." with the module's file name.
class ESharedArea : public EHookError {
 public:
  explicit ESharedArea(const std::string& moduleFileName);
};

}  // namespace vl
