#include "report/log_item.h"

#include <algorithm>

#include "report/report_text_rules.h"

namespace vl::report {

void TLogItem::AddHeader(const std::string& Title) {
  ++section_;
  item_ = 0;
  sections_.push_back(Section{CleanControlChars(Title), {}});
}

void TLogItem::AddItem(const std::string& Name, const std::string& Value, bool Visible) {
  ++item_;
  if (!Visible) return;
  if (sections_.empty()) sections_.push_back(Section{});
  sections_.back().lines.push_back("  " + std::to_string(section_) + "." + std::to_string(item_) +
                                   " " + CleanControlChars(Name) + ": " + CleanControlChars(Value));
}

std::string TLogItem::GetText() const {
  std::string out;
  bool first = true;
  for (const Section& section : sections_) {
    if (section.lines.empty()) continue;
    // Every line holds ": " (written after the name); align each line's first one.
    size_t column = 0;
    for (const std::string& line : section.lines) column = std::max(column, line.find(": "));
    std::vector<std::string> aligned;
    size_t longest = 1;
    for (const std::string& line : section.lines) {
      const size_t at = line.find(": ");
      std::string padded = line.substr(0, at) + std::string(column - at, ' ') + line.substr(at);
      longest = std::max(longest, padded.size());
      aligned.push_back(std::move(padded));
    }
    if (!first) out += "\r\n";
    first = false;
    out += section.title + ":\r\n" + std::string(longest, '-') + "\r\n";
    for (const std::string& line : aligned) out += line + "\r\n";
  }
  return out;
}

}  // namespace vl::report
