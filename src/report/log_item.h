// TLogItem: the builder of the report's general block. Sections of numbered "name: value"
// items; GetText lines up the colons of each section and underlines its title.
//
//   Application:
//   ------------------------------
//     1.1 Start Date      : ...
//     1.2 Name/Description: ...
//
// Item numbers are fixed by position: a hidden item uses up its number, so the log file can find
// "2.2" to "2.5" whatever is shown. A section whose items are all hidden disappears with its
// title. Titles, names and values are kept on one line (characters below 32 become blanks), so
// no custom text can break the layout that the log file's parser relies on.
#pragma once

#include <string>
#include <vector>

namespace vl::report {

class TLogItem {
 public:
  // Starts a section: the section number goes up by one, the item number back to 0.
  void AddHeader(const std::string& Title);
  // Adds the next item of the current section (before any AddHeader: of section 0). A hidden
  // item only uses up its number.
  void AddItem(const std::string& Name, const std::string& Value, bool Visible);
  // The sections with at least one shown item, separated by one empty line; every line ends
  // with CR LF. Empty when nothing is shown.
  std::string GetText() const;

  int SectionNumber() const { return section_; }
  int ItemNumber() const { return item_; }

 private:
  struct Section {
    std::string title;
    std::vector<std::string> lines;  // "  s.i name: value", before alignment
  };
  std::vector<Section> sections_;
  int section_ = 0;
  int item_ = 0;
};

}  // namespace vl::report
