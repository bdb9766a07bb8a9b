// The log file's text layer on damaged files: a well-formed log is written (one entry per
// "\x01"-separated piece of the input, through Add and GetText as the reporter writes it), then
// damaged as a disk or a crash damages it, and loaded again.
//
// Input: byte 0 the damage (0 truncated, 1 zero-filled, 2 a range replaced by other bytes), bytes
// 1-2 where it starts, byte 3 how long it is (zero-filled, replaced); then the entries' texts, and
// after "\x02" the bytes that replace the range. Checked:
// - the entries that end before the damage are the first items, unchanged (after a truncation,
//   exactly those are kept);
// - each entry after the damage ends an item (its own, or one that a damaged entry before it
//   ran into); no text is lost (kept items + dropped text), and a file with text but no entry
//   counts as foreign.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "report/log_text.h"

using namespace vl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const unsigned kind = data[0] % 3;
  const std::string rest(reinterpret_cast<const char*>(data) + 4, size - 4);
  const size_t split = rest.find('\x02');
  const std::string entries = rest.substr(0, split);
  const std::string other = split == std::string::npos ? std::string() : rest.substr(split + 1);

  report::TLogText written;
  for (size_t start = 0; start <= entries.size();) {
    const size_t end = std::min(entries.find('\x01', start), entries.size());
    written.Add(std::string(report::LogEntryMarker) + entries.substr(start, end - start), 1 << 20);
    start = end + 1;
  }
  const std::string clean = written.GetText();
  report::TLogText reference;
  reference.Load(clean);
  const std::vector<std::string> items = reference.Items();
  Check(reference.Count() == written.Count() && reference.DroppedText().empty());
  std::vector<size_t> offsets;  // where each entry starts in Clean (line breaks may lie between)
  for (size_t i = 0, at = 0; i < items.size(); at = offsets.back() + items[i++].size())
    offsets.push_back(clean.find(items[i], at));

  // The damaged range [From, To) of Clean and what stands there instead.
  const size_t from = (data[1] | data[2] << 8) % (clean.size() + 1);
  size_t to = kind == 0 ? clean.size() : std::min(clean.size(), from + data[3]);
  const std::string instead = kind == 1 ? std::string(to - from, '\0') : kind == 2 ? other : "";
  const std::string damaged = clean.substr(0, from) + instead + clean.substr(to);
  report::TLogText log;
  log.Load(damaged);
  const std::vector<std::string> kept = log.Items();

  size_t before = 0;
  while (before < items.size() && offsets[before] + items[before].size() + 2 <= from) ++before;
  Check(kept.size() >= before && std::equal(items.begin(), items.begin() + before, kept.begin()));
  if (kind == 0) Check(kept.size() == before);
  size_t next = 0;  // the kept items are in the file's order: search on from the last found
  for (size_t i = before; i < items.size(); ++i) {
    if (offsets[i] < to + 2) continue;
    const std::string& entry = items[i];
    auto ends = [&entry](const std::string& item) {
      return item == entry ||
             (item.size() > entry.size() + 2 &&
              item.compare(item.size() - entry.size() - 2, std::string::npos, "\r\n" + entry) == 0);
    };
    while (next < kept.size() && !ends(kept[next])) ++next;
    Check(next++ < kept.size());
  }
  size_t chars = TextChars(log.DroppedText());
  for (const std::string& item : kept) chars += TextChars(item);
  Check(chars == TextChars(damaged));
  Check(log.Foreign() == (kept.empty() && TextChars(damaged) > 0));
  return 0;
}
