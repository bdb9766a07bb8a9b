// libFuzzer target for the log file's text model, fed with whole log files.
//
// Input: byte 0 is the capacity (a signed byte), then up to five values separated by "\x01"
// (items 2.1 to 2.5 of a new report), then "\x02", then the file text. Checked:
// - every kept item starts with "VantorLog ", holds no run of four CR LF pairs and ends with
//   three; no character other than a line break is lost (kept items + dropped text);
// - loading what GetText writes gives the same items and drops nothing (idempotent);
// - after Add the log holds between 1 and the capacity (below 1: 1) items, the new report last,
//   and the report is found again by its values after a save and reload.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "report/log_item.h"
#include "report/log_text.h"
#include "report/report_text_rules.h"

using namespace vl;

namespace {

// The saved text, written in pieces from the loaded buffer, is every item followed by CR LF.
void CheckSavedText(const report::TLogText& log) {
  std::string joined;
  for (const std::string& item : log.Items()) joined += item + "\r\n";
  std::string pieces;
  for (std::string_view piece : log.Pieces()) pieces.append(piece);
  Check(pieces == joined);
  Check(log.GetText() == joined);
}

void CheckItems(const report::TLogText& log) {
  for (const std::string& item : log.Items()) {
    Check(item.compare(0, 10, "VantorLog ") == 0);
    Check(item.find("\r\n\r\n\r\n\r\n") == std::string::npos);
    Check(item.size() >= 16 && item.compare(item.size() - 6, 6, "\r\n\r\n\r\n") == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int capacity = static_cast<int8_t>(data[0]);
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t split = rest.find('\x02');
  const std::string head = split == std::string::npos ? std::string() : rest.substr(0, split);
  const std::string file = split == std::string::npos ? rest : rest.substr(split + 1);

  report::TLogText log;
  log.Load(file);
  CheckItems(log);
  CheckSavedText(log);
  size_t kept = TextChars(log.DroppedText());
  for (const std::string& item : log.Items()) kept += TextChars(item);
  Check(kept == TextChars(file));
  Check(log.Foreign() == (log.Count() == 0 && TextChars(file) > 0));

  report::TLogText again;
  again.Load(log.GetText());
  Check(again.Items() == log.Items());
  Check(again.DroppedText().empty());

  // A new report with the fuzzed values as items 2.1 to 2.5.
  std::vector<std::string> values;
  size_t start = 0;
  while (values.size() < 5) {
    const size_t at = head.find('\x01', start);
    values.push_back(head.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  values.resize(5);
  report::TLogItem items;
  items.AddHeader("Application");  // no items: the next section is number 2
  items.AddHeader("Exception");
  for (const std::string& value : values) items.AddItem("Item", value, true);
  const std::string newReport = "VantorLog 4.5.4\r\n\r\n" + items.GetText();

  const int before = log.Count();
  log.Add(newReport, capacity);
  const int limit = capacity < 1 ? 1 : capacity;
  Check(log.Count() == (before + 1 < limit ? before + 1 : limit));
  Check(log.Items().back().compare(0, newReport.size(), newReport) == 0);
  CheckSavedText(log);

  report::TLogText saved;
  saved.Load(log.GetText());
  CheckItems(saved);
  Check(saved.Count() == log.Count());
  Check(saved.DroppedText().empty());
  std::vector<std::string> cleaned;
  for (size_t i = 1; i < 5; ++i) cleaned.push_back(report::CleanControlChars(values[i]));
  Check(saved.Find({"2.2", "2.3", "2.4", "2.5"}, cleaned));
  return 0;
}
