// The runtime's exception classes. Every error the program or the crash reporter raises is an
// object of one of these classes (or of std::exception); the crash reporter's filters match a
// thrown object's class and its ancestors by name, see class_names.h.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace vl {

// Base class of the runtime's errors: carries the message text.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }
  std::string Message;
};

// The silent abort: ends an operation without anything being shown or reported.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
  using Exception::Exception;
};

// An error made from an operating-system exception record.
class EExternal : public Exception {
 public:
  EExternal(std::string message, uint32_t code, uintptr_t address)
      : Exception(std::move(message)), ExceptionCode(code), ExceptionAddress(address) {}
  uint32_t ExceptionCode;
  uintptr_t ExceptionAddress;
};

class EAccessViolation : public EExternal {
  using EExternal::EExternal;
};
class EStackOverflow : public EExternal {
  using EExternal::EExternal;
};
class EPrivilege : public EExternal {
  using EExternal::EExternal;
};
class EControlC : public EExternal {
  using EExternal::EExternal;
};
class EExternalException : public EExternal {
  using EExternal::EExternal;
};
class EIntError : public EExternal {
  using EExternal::EExternal;
};
class EDivByZero : public EIntError {
  using EIntError::EIntError;
};
class EIntOverflow : public EIntError {
  using EIntError::EIntError;
};
class ERangeError : public EIntError {
  using EIntError::EIntError;
};
class EMathError : public EExternal {
  using EExternal::EExternal;
};
class EZeroDivide : public EMathError {
  using EMathError::EMathError;
};
class EOverflow : public EMathError {
  using EMathError::EMathError;
};
class EUnderflow : public EMathError {
  using EMathError::EMathError;
};
class EInvalidOp : public EMathError {
  using EMathError::EMathError;
};

// A heap the system found damaged (STATUS_HEAP_CORRUPTION).
class EHeapCorruption : public EExternal {
  using EExternal::EExternal;
};

// The ways a program ends without a raise of its own: each is reported under its own class.
// abort() and SIGABRT.
class EAbnormalTermination : public Exception {
 public:
  using Exception::Exception;
};
// std::terminate with no active exception.
class ETerminate : public Exception {
 public:
  using Exception::Exception;
};
// A call of a pure virtual function (from a constructor or destructor of its abstract class).
class EPureVirtualCall : public Exception {
 public:
  using Exception::Exception;
};
// A C runtime function given a parameter it refuses (the runtime's invalid-parameter handler).
class EInvalidParameter : public Exception {
 public:
  using Exception::Exception;
};

class EConvertError : public Exception {
  using Exception::Exception;
};
class EAssertionFailed : public Exception {
  using Exception::Exception;
};
class EOSError : public Exception {
 public:
  EOSError(std::string message, uint32_t code) : Exception(std::move(message)), ErrorCode(code) {}
  uint32_t ErrorCode;
};

// A failure code that came back from a safecall method (COM-style error).
class EOleException : public Exception {
 public:
  EOleException(std::string message, int32_t code)
      : Exception(std::move(message)), ErrorCode(code) {}
  int32_t ErrorCode;
};

class EStreamError : public Exception {
  using Exception::Exception;
};
// A stream took fewer bytes than it was given: "Stream write error".
class EWriteError : public EStreamError {
 public:
  EWriteError() : EStreamError("Stream write error") {}
  using EStreamError::EStreamError;
};
class EFileStreamError : public EStreamError {
 public:
  // Message formed from a format with two %s: the file name and the system's error text.
  EFileStreamError(const char* format, const std::string& fileName, const std::string& osText);
};
// "Cannot create file \"%s\". %s"
class EFCreateError : public EFileStreamError {
 public:
  EFCreateError(const std::string& fileName, const std::string& osText);
};
// "Cannot open file \"%s\". %s"
class EFOpenError : public EFileStreamError {
 public:
  EFOpenError(const std::string& fileName, const std::string& osText);
};

// Registry failures: "Failed to create key %s", "Failed to set data for '%s'".
class ERegistryException : public Exception {
 public:
  using Exception::Exception;
  static ERegistryException CreateKeyFailed(const std::string& key);
  static ERegistryException SetDataFailed(const std::string& valueName);
};

// printf-style formatting into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace vl
