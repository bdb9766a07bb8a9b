#include "runtime/exceptions.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace vl {

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), format, args);
    out.assign(buf.data(), static_cast<size_t>(n));
  }
  va_end(args);
  return out;
}

EFileStreamError::EFileStreamError(const char* format, const std::string& fileName,
                                   const std::string& osText)
    : EStreamError(Format(format, fileName.c_str(), osText.c_str())) {}

EFCreateError::EFCreateError(const std::string& fileName, const std::string& osText)
    : EFileStreamError("Cannot create file \"%s\". %s", fileName, osText) {}

EFOpenError::EFOpenError(const std::string& fileName, const std::string& osText)
    : EFileStreamError("Cannot open file \"%s\". %s", fileName, osText) {}

ERegistryException ERegistryException::CreateKeyFailed(const std::string& key) {
  return ERegistryException(Format("Failed to create key %s", key.c_str()));
}

ERegistryException ERegistryException::SetDataFailed(const std::string& valueName) {
  return ERegistryException(Format("Failed to set data for '%s'", valueName.c_str()));
}

}  // namespace vl
