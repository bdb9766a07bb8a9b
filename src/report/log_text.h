// The log file's text: the entries it holds and the rules that read and write them.
//
// The file is a sequence of entries and nothing else. An entry is a report that starts with
// "VantorLog " at the start of the file or of a line and holds no run of four CR LF pairs,
// followed by at least four CR LF pairs. Loading keeps each report with the first three CR LF
// pairs of its separator; saving writes each kept item followed by one more CR LF. A report added
// in this run carries four CR LF pairs, so it ends with five in the file and with four after the
// next load and save.
//
// Text that does not follow the layout (an unterminated last entry, text between entries,
// "VantorLog " in the middle of a line) cannot be kept in the entries; loading collects it as
// the dropped text, so the caller can save it elsewhere before the file is rewritten, and can
// leave a file that holds text but no entry alone. A zero byte also ends a line for the marker:
// a power loss can leave a run of zeros where text was, and the entries after it are kept.
//
// A file that holds no entry is either not ours (leave it alone) or a log of ours that a crash
// or a power loss damaged (save its text elsewhere and start afresh): see Damaged.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vl::report {

//
// The loaded text is kept whole and items refer into it, so loading, dropping the oldest items and
// saving copy nothing per entry: a log of many megabytes is read once and written straight from
// that one buffer.
class TLogText {
 public:
  // Parses FileText (the whole file). Pass an rvalue to hand the buffer over without a copy.
  void Load(std::string FileText);

  int Count() const { return static_cast<int>(spans_.size() - first_ + added_.size()); }
  // Item Index (0 = oldest), valid until the next Load.
  std::string_view Item(int Index) const;
  // Copies of every item, oldest first.
  std::vector<std::string> Items() const;

  // The text outside every kept item, unless it is only line breaks: each dropped piece as it
  // stood, followed by CR LF. Empty when the load lost nothing.
  const std::string& DroppedText() const { return dropped_; }
  // The loaded text held text (beyond line breaks) but no entry: not a log of ours, or wholly
  // damaged. Stays as loaded whatever is added later.
  bool Foreign() const { return foreign_; }
  // Foreign, but the text is a damaged log of ours: after its leading line breaks it starts with
  // the entry marker or with a zero byte (a zero-filled file). Such a file is moved aside whole.
  bool Damaged() const { return damaged_; }
  // The size of the loaded text.
  size_t LoadedSize() const { return text_.size(); }
  // True when saving only adds to the loaded text: no loaded item was dropped and the load lost
  // nothing. Then AppendedPieces is what goes after the loaded text.
  bool AppendOnly() const { return first_ == 0 && dropped_.empty(); }
  // The items added since the load, each followed by CR LF, preceded by one CR LF when the loaded
  // text does not end in one (so the first marker starts a line). Empty when nothing was added.
  std::vector<std::string_view> AppendedPieces() const;

  // True when some item carries, for every k, the item line "  " + Keys[k] + " " whose value
  // (after its first ": ", up to the line's end) equals Values[k] exactly. Lists of different
  // lengths or no keys never match.
  bool Find(const std::vector<std::string>& Keys, const std::vector<std::string>& Values) const;

  // Drops the oldest items until MaxCount - 1 remain (a MaxCount below 1 counts as 1), then
  // appends Report and four CR LF pairs. Any run of three or more CR LF pairs inside Report is
  // shrunk to two first, so the report stays one entry.
  void Add(const std::string& Report, int MaxCount);

  // Every item followed by CR LF: what the file holds after saving.
  std::string GetText() const;
  // The same text as consecutive pieces, without copying it: loaded items that stood next to each
  // other form one piece. The views stay valid until the next Load or Add.
  std::vector<std::string_view> Pieces() const;

 private:
  struct TSpan {
    size_t Start;
    size_t Length;  // without the CR LF that follows the item in text_
  };
  std::string text_;                // the loaded file
  std::vector<TSpan> spans_;        // loaded items in text_; those before first_ are dropped
  size_t first_ = 0;                // the oldest loaded item still kept
  std::vector<std::string> added_;  // items added since the load, oldest first
  std::string dropped_;
  bool foreign_ = false;
  bool damaged_ = false;
};

// The entry marker: every report starts with it.
extern const char* const LogEntryMarker;  // "VantorLog "

}  // namespace vl::report
