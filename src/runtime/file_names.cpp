#include "runtime/file_names.h"

#include <atomic>

namespace vl::rtl {

namespace {
std::atomic<TLeadBytePredicate> g_ansiLeadByte{nullptr};

// Calls Each(index) for the first byte of every character, in order.
template <class Each>
void ForEachCharacter(const std::string& s, TLeadBytePredicate isLeadByte, Each each) {
  for (size_t i = 0; i < s.size(); ++i) {
    each(i);
    if (isLeadByte && isLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ++i;
  }
}
}  // namespace

TLeadBytePredicate AnsiLeadByte() { return g_ansiLeadByte.load(std::memory_order_relaxed); }

void SetAnsiLeadByte(TLeadBytePredicate predicate) { g_ansiLeadByte.store(predicate); }

size_t FileNameStart(const std::string& fileName, TLeadBytePredicate isLeadByte) {
  size_t start = 0;
  ForEachCharacter(fileName, isLeadByte, [&](size_t i) {
    if (fileName[i] == '\\' || fileName[i] == ':') start = i + 1;
  });
  return start;
}

size_t FileExtStart(const std::string& fileName, TLeadBytePredicate isLeadByte) {
  size_t dot = std::string::npos;
  ForEachCharacter(fileName, isLeadByte, [&](size_t i) {
    if (fileName[i] == '\\' || fileName[i] == ':') dot = std::string::npos;
    if (fileName[i] == '.') dot = i;
  });
  return dot;
}

std::string ExtractFilePath(const std::string& fileName, TLeadBytePredicate isLeadByte) {
  return fileName.substr(0, FileNameStart(fileName, isLeadByte));
}

std::string ExtractFileName(const std::string& fileName, TLeadBytePredicate isLeadByte) {
  return fileName.substr(FileNameStart(fileName, isLeadByte));
}

}  // namespace vl::rtl
