#include "core/file_names.h"

namespace core {

namespace {
// Index just after the last folder delimiter ("\" or ":"), 0 when none.
size_t NameStart(const std::string& s) {
  size_t p = s.find_last_of("\\:");
  return p == std::string::npos ? 0 : p + 1;
}
// Index of the extension's dot, npos when none.
size_t ExtStart(const std::string& s) {
  size_t p = s.find_last_of(".\\:");
  return p != std::string::npos && s[p] == '.' ? p : std::string::npos;
}
}  // namespace

std::string ExtractFilePath(const std::string& fileName) {
  return fileName.substr(0, NameStart(fileName));
}

std::string ExtractFileName(const std::string& fileName) {
  return fileName.substr(NameStart(fileName));
}

std::string ExtractFileExt(const std::string& fileName) {
  size_t p = ExtStart(fileName);
  return p == std::string::npos ? std::string() : fileName.substr(p);
}

std::string ChangeFileExt(const std::string& fileName, const std::string& extension) {
  size_t p = ExtStart(fileName);
  return (p == std::string::npos ? fileName : fileName.substr(0, p)) + extension;
}

}  // namespace core
