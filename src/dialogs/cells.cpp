#include "dialogs/cells.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "dialogs/geometry.h"

namespace vl::dialogs {

namespace {
std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}
// Position after the last folder separator ("\" or ":").
size_t NameStart(const std::string& fileName) {
  size_t p = fileName.find_last_of("\\:");
  return p == std::string::npos ? 0 : p + 1;
}
}  // namespace

int ModuleIcon(const std::string& fileName) {
  std::string name = fileName.substr(NameStart(fileName));
  size_t dot = name.rfind('.');
  std::string ext = dot == std::string::npos ? "" : Upper(name.substr(dot));
  if (ext == ".BPL" || ext == ".DPL") return liPackage;
  if (ext == ".EXE") return liExecutable;
  return liLibrary;
}

std::string ShortVersion(const std::string& version) {
  size_t first = version.find('.');
  if (first == std::string::npos) return version;
  size_t second = version.find('.', first + 1);
  if (second == std::string::npos) return version;
  return version.substr(0, second + 1) + "x";
}

std::string SizeInKb(int64_t bytes) {
  int64_t whole = bytes / 1024;
  int64_t rest = bytes % 1024;
  if (rest < 0) {  // floor division for a negative size
    rest += 1024;
    --whole;
  }
  if (rest > 512 || (rest == 512 && (whole & 1))) ++whole;
  return std::to_string(whole) + " Kb";
}

std::string FileFolder(const std::string& fileName) {
  size_t p = fileName.find_last_of("\\:");
  if (p == std::string::npos) return "";
  if (fileName[p] == '\\' && p > 0 && fileName[p - 1] != '\\' && fileName[p - 1] != ':') --p;
  return fileName.substr(0, p + 1);
}

std::string HexHandle(uintptr_t handle) {
  char text[32];
  std::snprintf(text, sizeof text, "%08llX", static_cast<unsigned long long>(handle));
  return text;
}

TListRow ModuleRow(uintptr_t handle, const std::string& fileName, const std::string& description,
                   const std::string& version, int64_t fileSize) {
  TListRow row;
  row.Icon = ModuleIcon(fileName);
  row.Cells = {HexHandle(handle),  fileName.substr(NameStart(fileName)),
               description,        ShortVersion(version),
               SizeInKb(fileSize), FileFolder(fileName)};
  return row;
}

const char* const SourceJumpMailslot = "\\\\.\\mailslot\\VantorLog";

std::vector<uint8_t> SourceJumpMessage(const std::string& unitCell, const std::string& lineCell) {
  auto line = ParseProfileNumber(lineCell);
  if (lineCell.empty() || !line) return {};
  std::vector<uint8_t> message(SourceJumpMessageSize, 0);
  size_t n = std::min<size_t>(unitCell.size(), 2047);
  std::memcpy(message.data(), unitCell.data(), n);
  uint32_t v = static_cast<uint32_t>(*line);
  for (int i = 0; i < 4; ++i) message[2048 + i] = static_cast<uint8_t>(v >> (8 * i));
  return message;
}

std::string TrimBlanks(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return text.substr(begin, end - begin);
}

std::string ProgressStatusText(const std::string& messageWord, int current, int count,
                               const std::string& step) {
  return messageWord + " " + std::to_string(current) + "/" + std::to_string(count) + ": " + step;
}

}  // namespace vl::dialogs
