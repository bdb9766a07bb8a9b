// The log file's text model: what loading keeps and drops, the separators, capacity and Find.
#include "report/log_text.h"

#include <gtest/gtest.h>

using namespace vl;

namespace {

using report::TLogText;

const std::string kRun = "\r\n\r\n\r\n\r\n";

std::string Report(const std::string& address, const std::string& message) {
  return "VantorLog 4.5.4\r\n\r\nException:\r\n----\r\n  2.2 Address: " + address +
         "\r\n  2.3 Module : a.exe\r\n  2.5 Message: " + message + "\r\n";
}

TEST(LogText, LoadingKeepsWellFormedEntriesAndCollectsEverythingElse) {
  struct Case {
    const char* name;
    std::string file;
    std::vector<std::string> items;
    std::string dropped;
  } cases[] = {
      {"empty", "", {}, ""},
      {"only line breaks", "\r\n\n\r", {}, ""},
      {"one entry", "VantorLog a" + kRun + "\r\n", {"VantorLog a\r\n\r\n\r\n"}, ""},
      {"long separator",
       "VantorLog a" + kRun + kRun + "VantorLog b" + kRun,
       {"VantorLog a\r\n\r\n\r\n", "VantorLog b\r\n\r\n\r\n"},
       ""},
      {"unterminated last",
       "VantorLog a" + kRun + "VantorLog b\r\n\r\n",
       {"VantorLog a\r\n\r\n\r\n"},
       "VantorLog b\r\n\r\n"},
      {"text before", "junk\r\nVantorLog a" + kRun, {"VantorLog a\r\n\r\n\r\n"}, "junk\r\n"},
      {"not at a line start",
       "x VantorLog a" + kRun + "VantorLog b" + kRun,
       {"VantorLog b\r\n\r\n\r\n"},
       "x VantorLog a" + kRun},
      {"lone LF is no line start", "\nVantorLog a" + kRun, {}, "VantorLog a" + kRun},
      {"inner marker stays inside",
       "VantorLog a\r\nVantorLog b" + kRun,
       {"VantorLog a\r\nVantorLog b\r\n\r\n\r\n"},
       ""},
      {"text between",
       "VantorLog a" + kRun + "between\r\nVantorLog b" + kRun,
       {"VantorLog a\r\n\r\n\r\n", "VantorLog b\r\n\r\n\r\n"},
       "between\r\n"},
      {"foreign", "[Settings]\r\nA=1\r\n", {}, "[Settings]\r\nA=1\r\n"},
      {"after a zero-filled run",
       std::string(3, '\0') + "VantorLog a" + kRun,
       {"VantorLog a\r\n\r\n\r\n"},
       std::string(3, '\0') + "\r\n"},
      {"no final line break",
       "VantorLog a" + kRun + "tail",
       {"VantorLog a\r\n\r\n\r\n"},
       "tail\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLogText log;
    log.Load(c.file);
    EXPECT_EQ(log.Items(), c.items);
    EXPECT_EQ(log.DroppedText(), c.dropped);
    EXPECT_EQ(log.Foreign(), c.items.empty() && !c.dropped.empty());
  }
  // What the file was does not change by adding to it: a foreign file is never rewritten.
  TLogText foreign;
  foreign.Load("[Settings]\r\n");
  foreign.Add("VantorLog new", 32);
  EXPECT_TRUE(foreign.Foreign());
  EXPECT_FALSE(foreign.Damaged());
  // A log of ours without a whole entry is damaged, not foreign: it may be set aside.
  for (const std::string& damaged : {std::string(8, '\0'), std::string("\r\nVantorLog cut\r\n")}) {
    TLogText log;
    log.Load(damaged);
    EXPECT_TRUE(log.Foreign() && log.Damaged());
  }
}

TEST(LogText, AnEntryWrittenNowEndsWithFiveLineBreaksAndAfterReloadingWithFour) {
  TLogText log;
  log.Add("VantorLog x", 32);
  const std::string written = log.GetText();
  EXPECT_EQ(written, "VantorLog x\r\n\r\n\r\n\r\n\r\n");
  TLogText again;
  again.Load(written);
  EXPECT_EQ(again.GetText(), "VantorLog x\r\n\r\n\r\n\r\n");
  TLogText third;
  third.Load(again.GetText());
  EXPECT_EQ(third.GetText(), again.GetText());
}

TEST(LogText, AddKeepsAtMostTheCapacityAndTreatsCapacityBelowOneAsOne) {
  struct Case {
    int capacity;
    int before;
    int after;
  } cases[] = {{32, 32, 32}, {32, 31, 32}, {32, 40, 32},      {1, 5, 1},
               {0, 5, 1},    {-7, 3, 1},   {INT32_MIN, 2, 1}, {INT32_MAX, 3, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.capacity);
    TLogText log;
    std::string file;
    for (int i = 0; i < c.before; ++i) file += "VantorLog " + std::to_string(i) + kRun;
    log.Load(file);
    log.Add("VantorLog new", c.capacity);
    ASSERT_EQ(log.Count(), c.after);
    EXPECT_EQ(log.Items().back(), "VantorLog new" + kRun);
    if (c.after > 1) {
      EXPECT_EQ(log.Items().front(),
                "VantorLog " + std::to_string(c.before - (c.after - 1)) + "\r\n\r\n\r\n");
    }
  }
}

TEST(LogText, TheSavedTextIsEveryKeptItemFollowedByOneLineBreak) {
  // The saved text is written in pieces straight from the loaded file: gaps between entries,
  // long separators and dropped oldest items must never leak into it, and items added in this run
  // may themselves be dropped again.
  const std::string gapped = "junk\r\nVantorLog a" + kRun + kRun + "VantorLog b" + kRun +
                             "between\r\nVantorLog c" + kRun + "VantorLog d" + kRun + "tail";
  struct Case {
    const char* name;
    std::string file;
    std::vector<int> capacities;  // one Add per capacity
    std::string saved;
  } cases[] = {
      {"nothing dropped",
       gapped,
       {},
       "VantorLog a\r\n\r\n\r\n\r\nVantorLog b\r\n\r\n\r\n\r\nVantorLog c\r\n\r\n\r\n\r\n"
       "VantorLog d\r\n\r\n\r\n\r\n"},
      {"oldest dropped",
       gapped,
       {3},
       "VantorLog c\r\n\r\n\r\n\r\nVantorLog d\r\n\r\n\r\n\r\nVantorLog n0" + kRun + "\r\n"},
      {"every loaded item dropped",
       gapped,
       {1, 2},
       "VantorLog n0" + kRun + "\r\nVantorLog n1" + kRun + "\r\n"},
      {"added items dropped again",
       gapped,
       {9, 9, 2},
       "VantorLog n1" + kRun + "\r\nVantorLog n2" + kRun + "\r\n"},
      {"nothing loaded", "", {5, 5}, "VantorLog n0" + kRun + "\r\nVantorLog n1" + kRun + "\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TLogText log;
    log.Load(c.file);
    for (size_t i = 0; i < c.capacities.size(); ++i) {
      log.Add("VantorLog n" + std::to_string(i), c.capacities[i]);
    }
    std::string joined;
    for (const std::string& item : log.Items()) joined += item + "\r\n";
    EXPECT_EQ(log.GetText(), c.saved);
    EXPECT_EQ(joined, c.saved);
    std::string pieces;
    for (std::string_view piece : log.Pieces()) pieces.append(piece);
    EXPECT_EQ(pieces, c.saved);
    ASSERT_GT(log.Count(), 0);
    EXPECT_EQ(log.Item(log.Count() - 1), log.Items().back());
  }
}

TEST(LogText, AddKeepsOneReportOneEntry) {
  TLogText log;
  log.Add("VantorLog a\r\n\r\n\r\n\r\n\r\nVantorLog b\r\n\r\n\r\nend\r\n", 10);
  TLogText reloaded;
  reloaded.Load(log.GetText());
  ASSERT_EQ(reloaded.Count(), 1);
  EXPECT_EQ(reloaded.Items()[0], "VantorLog a\r\n\r\nVantorLog b\r\n\r\nend\r\n\r\n\r\n");
  EXPECT_EQ(reloaded.DroppedText(), "");
}

TEST(LogText, FindNeedsEveryKeyOnItsOwnLine) {
  TLogText log;
  log.Load(Report("00401000", "First.") + kRun + Report("00402000", "a: b.") + kRun +
           "VantorLog no items" + kRun +
           "VantorLog 4.5.4\r\n  2.2 Address\r\n  2.5 Message: x.\r\n" + kRun);
  struct Case {
    std::vector<std::string> keys;
    std::vector<std::string> values;
    bool found;
  } cases[] = {
      {{"2.2", "2.3", "2.5"}, {"00401000", "a.exe", "First."}, true},
      {{"2.2", "2.5"}, {"00402000", "a: b."}, true},   // ": " inside the value
      {{"2.2", "2.5"}, {"00401000", "a: b."}, false},  // values of two different entries
      {{"2.5"}, {"a"}, false},
      {{"2.5"}, {"First"}, false},            // exact, not a prefix
      {{"2.5"}, {"first."}, false},           // case-sensitive
      {{"2.4"}, {""}, false},                 // missing line
      {{"2.2"}, {"2.5 Message: x."}, false},  // a line without ": " has no value
      {{"2.2"}, {"x."}, false},
      {{"2.3"}, {"a.exe"}, true},
      {{}, {}, false},
      {{"2.2", "2.3"}, {"00401000"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.values));
    EXPECT_EQ(log.Find(c.keys, c.values), c.found);
  }
  EXPECT_FALSE(TLogText().Find({"2.2"}, {""}));
}

}  // namespace
