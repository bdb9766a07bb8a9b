#include "debuginfo/export_name.h"

#include <vector>

#include "debuginfo/debug_info.h"

namespace vl {
namespace {

std::vector<std::string> SplitAtDots(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t dot = text.find('.', start);
    parts.push_back(text.substr(start, dot - start));
    if (dot == std::string::npos) return parts;
    start = dot + 1;
  }
}

// "Unit.Proc" or "Unit.Class.Proc".
uint8_t FromParts(const std::string& text, TExportNameParts& parts) {
  std::vector<std::string> p = SplitAtDots(text);
  if (p.size() == 2) {
    parts = {p[0] + ".pas", "", p[1]};
  } else if (p.size() == 3) {
    parts = {p[0] + ".pas", p[1], p[2]};
  } else {
    return ddNothing;
  }
  return ddExportFull;
}

// "@Unit@Class@Proc$qqrv" -> "Unit.Class.Proc".
bool Unmangle(const std::string& name, std::string& text) {
  size_t dollar = name.find('$');
  if (dollar == std::string::npos) return false;
  text = name.substr(0, dollar);
  if (!text.empty() && text.back() == '@') text.pop_back();
  if (!text.empty() && text.front() == '@') text.erase(0, 1);
  if (size_t twin = text.find("@@"); twin != std::string::npos) text[twin + 1] = '_';
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '@') text[i++] = '.';  // the character after it is taken as it is
  }
  return true;
}

}  // namespace

uint8_t DecodeExportName(const std::string& name, TExportNameParts& parts) {
  if (name.empty()) return ddNothing;
  TExportNameParts found;
  uint8_t detail = ddNothing;
  if (name[0] != '@') {
    if (name.find('.') != std::string::npos) {
      detail = FromParts(name.substr(0, name.find('@')), found);
    } else if (name[0] != '?') {
      found.ProcedureName = name;
      detail = ddExportProcedure;
    }
  } else if (name.size() < 2 || name[1] != '$') {
    std::string text;
    if (Unmangle(name, text)) detail = FromParts(text, found);
  }
  if (detail == ddNothing) return ddNothing;
  if (!found.ProcedureName.empty() && found.ProcedureName[0] == '@') found.ProcedureName[0] = '_';
  parts = found;
  return detail;
}

}  // namespace vl
