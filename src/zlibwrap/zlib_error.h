// Errors of the program's zlib calls.
#pragma once

#include "runtime/exceptions.h"

namespace vl::zlibwrap {

class EZlibError : public Exception {
 public:
  EZlibError(std::string message, int code) : Exception(std::move(message)), Code(code) {}
  // zlib's return code (Z_DATA_ERROR, ...), or 0 when the failure is ours (limit, truncation).
  int Code;
};
class ECompressionError : public EZlibError {
  using EZlibError::EZlibError;
};
class EDecompressionError : public EZlibError {
  using EZlibError::EZlibError;
};

}  // namespace vl::zlibwrap
