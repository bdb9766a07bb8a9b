#include "core/file_names.h"

namespace vl::core {

std::string ExtractFilePath(const std::string& fileName, rtl::TLeadBytePredicate isLeadByte) {
  return rtl::ExtractFilePath(fileName, isLeadByte);
}

std::string ExtractFileName(const std::string& fileName, rtl::TLeadBytePredicate isLeadByte) {
  return rtl::ExtractFileName(fileName, isLeadByte);
}

std::string ExtractFileExt(const std::string& fileName, rtl::TLeadBytePredicate isLeadByte) {
  size_t p = rtl::FileExtStart(fileName, isLeadByte);
  return p == std::string::npos ? std::string() : fileName.substr(p);
}

std::string ChangeFileExt(const std::string& fileName, const std::string& extension,
                          rtl::TLeadBytePredicate isLeadByte) {
  size_t p = rtl::FileExtStart(fileName, isLeadByte);
  return (p == std::string::npos ? fileName : fileName.substr(0, p)) + extension;
}

}  // namespace vl::core
