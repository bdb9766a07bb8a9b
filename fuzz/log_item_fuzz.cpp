// libFuzzer target for the general block's builder (TLogItem).
//
// Input: a sequence of commands, each one byte and its text up to the next "\x00": "H" adds a
// section titled with the text, "I"/"i" a shown/hidden item whose name and value the first
// "\x01" of the text separates. Checked against a model of the commands: the shown items appear
// in order with their fixed numbers, one section per title with a shown item, every line free
// of control characters, the ": " after each name in one column, and each
// underline as long as its section's longest item line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "report/log_item.h"

using namespace vl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  report::TLogItem log;
  // Model: for each section, the expected number prefixes of its shown items.
  std::vector<std::vector<std::string>> expected(1);
  int section = 0;
  int item = 0;
  size_t pos = 0;
  int commands = 0;
  while (pos < input.size() && commands++ < 200) {
    const char op = input[pos++];
    size_t end = input.find('\0', pos);
    if (end == std::string::npos) end = input.size();
    const std::string text = input.substr(pos, end - pos);
    pos = end + 1;
    if (op == 'H') {
      log.AddHeader(text);
      ++section;
      item = 0;
      expected.emplace_back();
    } else if (op == 'I' || op == 'i') {
      const size_t cut = text.find('\x01');
      const std::string name = text.substr(0, cut);
      const std::string value = cut == std::string::npos ? "" : text.substr(cut + 1);
      log.AddItem(name, value, op == 'I');
      ++item;
      if (op == 'I') {
        expected.back().push_back("  " + std::to_string(section) + "." + std::to_string(item) +
                                  " ");
      }
    }
  }
  Check(log.SectionNumber() == section && log.ItemNumber() == item);

  const std::string text = log.GetText();
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2) {
    lines.push_back(text.substr(start, at - start));
  }
  Check(start == text.size());
  for (const std::string& line : lines) {
    for (char c : line) Check(static_cast<unsigned char>(c) >= 32);
  }

  size_t at = 0;
  bool first = true;
  for (const std::vector<std::string>& numbers : expected) {
    if (numbers.empty()) continue;
    if (!first) {
      Check(at < lines.size() && lines[at].empty());
      ++at;
    }
    first = false;
    Check(at + 2 + numbers.size() <= lines.size());
    const std::string& title = lines[at];
    Check(!title.empty() && title.back() == ':');
    const std::string& underline = lines[at + 1];
    Check(underline.find_first_not_of('-') == std::string::npos);
    // The column: the furthest first ": " of the section's lines. Every line has its ": "
    // there; a name that itself ends with ":" may show an earlier one.
    size_t column = 0;
    size_t longest = 0;
    for (size_t k = 0; k < numbers.size(); ++k) {
      const std::string& line = lines[at + 2 + k];
      Check(line.compare(0, numbers[k].size(), numbers[k]) == 0);
      const size_t colon = line.find(": ");
      Check(colon != std::string::npos);
      if (colon > column) column = colon;
      if (line.size() > longest) longest = line.size();
    }
    for (size_t k = 0; k < numbers.size(); ++k) {
      const std::string& line = lines[at + 2 + k];
      Check(line.compare(column, 2, ": ") == 0);
    }
    Check(underline.size() == longest);
    at += 2 + numbers.size();
  }
  Check(at == lines.size());
  return 0;
}
