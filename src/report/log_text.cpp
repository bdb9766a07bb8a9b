#include "report/log_text.h"

#include <cstring>

namespace report {

const char* const LogEntryMarker = "VantorLog ";

namespace {

const char kRun[] = "\r\n\r\n\r\n\r\n";
constexpr size_t kRunLength = 8;
constexpr size_t kKeptSeparator = 6;  // three CR LF pairs

bool OnlyLineBreaks(const std::string& Text, size_t From, size_t To) {
  for (size_t i = From; i < To; ++i) {
    if (Text[i] != '\r' && Text[i] != '\n') return false;
  }
  return true;
}

}  // namespace

void TLogText::Load(const std::string& FileText) {
  items_.clear();
  dropped_.clear();
  const size_t markerLength = std::strlen(LogEntryMarker);
  size_t kept = 0;  // end of the text accounted for (kept or looked at as a gap)
  auto drop = [&](size_t from, size_t to) {
    // Leading line breaks belong to the separator before the piece.
    while (from < to && (FileText[from] == '\r' || FileText[from] == '\n')) ++from;
    if (from < to && !OnlyLineBreaks(FileText, from, to)) {
      dropped_.append(FileText, from, to - from);
      if (dropped_.size() < 2 || dropped_.compare(dropped_.size() - 2, 2, "\r\n") != 0) {
        dropped_ += "\r\n";
      }
    }
  };
  size_t pos = FileText.find(LogEntryMarker);
  while (pos != std::string::npos) {
    const bool lineStart =
        pos == 0 || (pos >= 2 && FileText[pos - 2] == '\r' && FileText[pos - 1] == '\n');
    if (!lineStart) {
      pos = FileText.find(LogEntryMarker, pos + 1);
      continue;
    }
    const size_t run = FileText.find(kRun, pos + markerLength, kRunLength);
    if (run == std::string::npos) break;  // an unterminated last entry is not kept
    drop(kept, pos);
    items_.push_back(FileText.substr(pos, run + kKeptSeparator - pos));
    kept = run + kKeptSeparator;
    pos = FileText.find(LogEntryMarker, run);
  }
  drop(kept, FileText.size());
  foreign_ = items_.empty() && !dropped_.empty();
}

bool TLogText::Find(const std::vector<std::string>& Keys,
                    const std::vector<std::string>& Values) const {
  if (Keys.empty() || Keys.size() != Values.size()) return false;
  for (const std::string& item : items_) {
    bool all = true;
    for (size_t k = 0; k < Keys.size() && all; ++k) {
      const std::string line = "\r\n  " + Keys[k] + " ";
      const size_t at = item.find(line);
      if (at == std::string::npos) {
        all = false;
        break;
      }
      const size_t start = at + line.size();
      size_t end = item.find("\r\n", start);
      if (end == std::string::npos) end = item.size();
      const size_t colon = item.find(": ", start);
      // The value belongs to this line only; a line without ": " has none.
      if (colon == std::string::npos || colon + 2 > end) {
        all = false;
        break;
      }
      all = item.compare(colon + 2, end - colon - 2, Values[k]) == 0;
    }
    if (all) return true;
  }
  return false;
}

void TLogText::Add(const std::string& Report, int MaxCount) {
  if (MaxCount < 1) MaxCount = 1;
  const size_t keep = static_cast<size_t>(MaxCount) - 1;
  if (items_.size() > keep) items_.erase(items_.begin(), items_.end() - static_cast<long>(keep));
  // Shrink runs of 3+ CR LF pairs to two.
  std::string text;
  text.reserve(Report.size() + kRunLength);
  size_t i = 0;
  while (i < Report.size()) {
    size_t pairs = 0;
    while (i + 2 * pairs + 1 < Report.size() && Report[i + 2 * pairs] == '\r' &&
           Report[i + 2 * pairs + 1] == '\n') {
      ++pairs;
    }
    if (pairs == 0) {
      text += Report[i++];
      continue;
    }
    const size_t write = pairs >= 3 ? 2 : pairs;
    for (size_t p = 0; p < write; ++p) text += "\r\n";
    i += 2 * pairs;
  }
  items_.push_back(text + kRun);
}

std::string TLogText::GetText() const {
  size_t size = 0;
  for (const std::string& item : items_) size += item.size() + 2;
  std::string out;
  out.reserve(size);
  for (const std::string& item : items_) {
    out += item;
    out += "\r\n";
  }
  return out;
}

}  // namespace report
