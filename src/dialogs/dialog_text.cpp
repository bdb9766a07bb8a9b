#include "dialogs/dialog_text.h"

#include <cstdio>
#include <cstring>

#include "dialogs/dialog_layout.h"

namespace dialogs {

namespace {

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

}  // namespace

std::string FileNameOnly(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int ModuleIconIndex(const std::string& fileName) {
  std::string name = FileNameOnly(fileName);
  size_t dot = name.rfind('.');
  std::string ext = dot == std::string::npos ? "" : Upper(name.substr(dot));
  if (ext == ".BPL" || ext == ".DPL") return 1;
  if (ext == ".EXE") return 2;
  return 0;
}

std::string ShortVersion(const std::string& version) {
  size_t first = version.find('.');
  if (first == std::string::npos) return version;
  size_t second = version.find('.', first + 1);
  if (second == std::string::npos) return version;
  return version.substr(0, second + 1) + "x";
}

std::string SizeInKb(uint64_t bytes) {
  uint64_t kb = bytes / 1024, rest = bytes % 1024;
  if (rest > 512 || (rest == 512 && (kb & 1))) ++kb;
  return std::to_string(kb) + " Kb";
}

std::string ModuleFolder(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos) return "";
  std::string folder = path.substr(0, slash + 1);
  // A drive root keeps its backslash.
  if (folder.size() == 3 && folder[1] == ':') return folder;
  folder.pop_back();
  return folder;
}

std::optional<std::array<uint8_t, kMailslotMessageSize>> MailslotMessage(
    const std::string& unit, const std::string& lineCell) {
  int line = 0;
  if (!TryDecimal(lineCell, line)) return std::nullopt;
  std::array<uint8_t, kMailslotMessageSize> message{};
  size_t n = unit.size() < 2047 ? unit.size() : 2047;
  std::memcpy(message.data(), unit.data(), n);
  uint32_t value = static_cast<uint32_t>(line);
  for (int i = 0; i < 4; ++i) message[2048 + i] = static_cast<uint8_t>(value >> (8 * i));
  return message;
}

std::string TrimRequestText(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return text.substr(begin, end - begin);
}

std::string SendProgressText(const std::string& messageWord, int recipient, int recipients,
                             const std::string& step) {
  return messageWord + " " + std::to_string(recipient) + "/" + std::to_string(recipients) + ": " +
         step;
}

}  // namespace dialogs
