#include "report/report_text_rules.h"

namespace vl::report {

std::string HexText(uint64_t Value, int Digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out(static_cast<size_t>(Digits > 0 ? Digits : 0), '0');
  for (int i = Digits - 1; i >= 0; --i) {
    out[static_cast<size_t>(i)] = kDigits[Value & 0xF];
    Value >>= 4;
  }
  return out;
}

std::string CleanControlChars(const std::string& Text) {
  std::string out(Text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 32) c = ' ';
  }
  return out;
}

std::string FileNameOf(const std::string& Path) {
  const size_t at = Path.find_last_of("\\/:");
  return at == std::string::npos ? Path : Path.substr(at + 1);
}

std::string FolderOf(const std::string& Path) {
  const size_t at = Path.find_last_of("\\/:");
  if (at == std::string::npos) return std::string();
  // "C:\x.dll" and "C:x.dll" keep the drive's root marker; "\x.dll" keeps its root.
  if (Path[at] == ':') return Path.substr(0, at + 1);
  if (at == 0 || Path[at - 1] == ':') return Path.substr(0, at + 1);
  return Path.substr(0, at);
}

std::string ShrinkLineBreaks(const std::string& Text) {
  std::string out;
  out.reserve(Text.size());
  size_t i = 0;
  while (i < Text.size()) {
    if (Text[i] != '\r' && Text[i] != '\n') {
      out += Text[i++];
      continue;
    }
    const size_t start = i;
    int breaks = 0;
    while (i < Text.size() && (Text[i] == '\r' || Text[i] == '\n')) {
      if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
      ++i;
      ++breaks;
    }
    if (breaks >= 3) {
      out += "\r\n\r\n";
    } else {
      out.append(Text, start, i - start);
    }
  }
  return out;
}

std::string TrimText(const std::string& Text) {
  size_t first = 0;
  size_t last = Text.size();
  while (first < last && static_cast<unsigned char>(Text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(Text[last - 1]) <= ' ') --last;
  return Text.substr(first, last - first);
}

}  // namespace vl::report
