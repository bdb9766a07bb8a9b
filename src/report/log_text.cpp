#include "report/log_text.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace vl::report {

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

void TLogText::Load(std::string FileText) {
  text_ = std::move(FileText);
  spans_.clear();
  first_ = 0;
  added_.clear();
  dropped_.clear();
  const std::string& text = text_;
  const size_t markerLength = std::strlen(LogEntryMarker);
  size_t kept = 0;  // end of the text accounted for (kept or looked at as a gap)
  auto drop = [&](size_t from, size_t to) {
    // Leading line breaks belong to the separator before the piece.
    while (from < to && (text[from] == '\r' || text[from] == '\n')) ++from;
    if (from < to && !OnlyLineBreaks(text, from, to)) {
      dropped_.append(text, from, to - from);
      if (dropped_.size() < 2 || dropped_.compare(dropped_.size() - 2, 2, "\r\n") != 0) {
        dropped_ += "\r\n";
      }
    }
  };
  size_t pos = text.find(LogEntryMarker);
  while (pos != std::string::npos) {
    const bool lineStart = pos == 0 || text[pos - 1] == '\0' ||
                           (pos >= 2 && text[pos - 2] == '\r' && text[pos - 1] == '\n');
    if (!lineStart) {
      pos = text.find(LogEntryMarker, pos + 1);
      continue;
    }
    const size_t run = text.find(kRun, pos + markerLength, kRunLength);
    if (run == std::string::npos) break;  // an unterminated last entry is not kept
    drop(kept, pos);
    // The item ends inside the run, so the CR LF a save writes after it follows it in text_ too.
    spans_.push_back({pos, run + kKeptSeparator - pos});
    kept = run + kKeptSeparator;
    pos = text.find(LogEntryMarker, run);
  }
  drop(kept, text.size());
  foreign_ = spans_.empty() && !dropped_.empty();
  size_t start = 0;
  while (start < text.size() && (text[start] == '\r' || text[start] == '\n')) ++start;
  damaged_ = foreign_ && start < text.size() &&
             (text[start] == '\0' || text.compare(start, markerLength, LogEntryMarker) == 0);
}

std::string_view TLogText::Item(int Index) const {
  const size_t index = static_cast<size_t>(Index);
  const size_t loaded = spans_.size() - first_;
  if (index < loaded) {
    const TSpan& span = spans_[first_ + index];
    return std::string_view(text_).substr(span.Start, span.Length);
  }
  return added_[index - loaded];
}

std::vector<std::string> TLogText::Items() const {
  std::vector<std::string> items;
  items.reserve(static_cast<size_t>(Count()));
  for (int i = 0; i < Count(); ++i) items.emplace_back(Item(i));
  return items;
}

bool TLogText::Find(const std::vector<std::string>& Keys,
                    const std::vector<std::string>& Values) const {
  if (Keys.empty() || Keys.size() != Values.size()) return false;
  std::vector<std::string> lines;
  lines.reserve(Keys.size());
  for (const std::string& key : Keys) lines.push_back("\r\n  " + key + " ");
  for (int i = 0; i < Count(); ++i) {
    const std::string_view item = Item(i);
    bool all = true;
    for (size_t k = 0; k < Keys.size() && all; ++k) {
      const std::string& line = lines[k];
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
  size_t surplus = static_cast<size_t>(Count()) > keep ? static_cast<size_t>(Count()) - keep : 0;
  const size_t loadedGone = std::min(surplus, spans_.size() - first_);
  first_ += loadedGone;
  surplus -= loadedGone;
  added_.erase(added_.begin(), added_.begin() + static_cast<long>(surplus));
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
  added_.push_back(text + kRun);
}

std::vector<std::string_view> TLogText::Pieces() const {
  std::vector<std::string_view> pieces;
  const std::string_view text(text_);
  size_t pieceStart = 0;
  size_t pieceEnd = 0;
  for (size_t i = first_; i < spans_.size(); ++i) {
    const TSpan& span = spans_[i];
    if (span.Start != pieceEnd) {
      if (pieceEnd > pieceStart) pieces.push_back(text.substr(pieceStart, pieceEnd - pieceStart));
      pieceStart = span.Start;
    }
    pieceEnd = span.Start + span.Length + 2;
  }
  if (pieceEnd > pieceStart) pieces.push_back(text.substr(pieceStart, pieceEnd - pieceStart));
  for (const std::string& item : added_) {
    pieces.push_back(item);
    pieces.push_back("\r\n");
  }
  return pieces;
}

std::vector<std::string_view> TLogText::AppendedPieces() const {
  std::vector<std::string_view> pieces;
  if (added_.empty()) return pieces;
  const size_t size = text_.size();
  if (size > 0 && (size < 2 || text_.compare(size - 2, 2, "\r\n") != 0)) pieces.push_back("\r\n");
  for (const std::string& item : added_) {
    pieces.push_back(item);
    pieces.push_back("\r\n");
  }
  return pieces;
}

std::string TLogText::GetText() const {
  const std::vector<std::string_view> pieces = Pieces();
  size_t size = 0;
  for (std::string_view piece : pieces) size += piece.size();
  std::string out;
  out.reserve(size);
  for (std::string_view piece : pieces) out.append(piece);
  return out;
}

}  // namespace vl::report
