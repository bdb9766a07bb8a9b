// The general block's builder: numbering, alignment, underlines and hidden sections.
#include "report/log_item.h"

#include <gtest/gtest.h>

using namespace vl;

namespace {

using report::TLogItem;

TEST(LogItem, AlignsTheColonsOfASectionAndUnderlinesItsLongestLine) {
  TLogItem log;
  log.AddHeader("Application");
  log.AddItem("Start Date", "Tue, 8 Dec 2026 23:14:21 +0000", true);
  log.AddItem("Name/Description", "demo.exe", true);
  log.AddHeader("Exception");
  log.AddItem("Date", "x", true);
  EXPECT_EQ(log.GetText(), std::string("Application:\r\n") + std::string(54, '-') +
                               "\r\n"  // the 1.1 line
                               "  1.1 Start Date      : Tue, 8 Dec 2026 23:14:21 +0000\r\n"
                               "  1.2 Name/Description: demo.exe\r\n"
                               "\r\n"
                               "Exception:\r\n"
                               "-------------\r\n"
                               "  2.1 Date: x\r\n");
}

TEST(LogItem, HiddenItemsKeepTheirNumbersAndEmptySectionsVanish) {
  // An empty first, middle and last section: none leaves a title, an underline or a blank line.
  TLogItem log;
  log.AddHeader("Empty first");
  log.AddItem("a", "1", false);
  log.AddHeader("Kept");
  log.AddItem("a", "1", false);
  log.AddItem("b", "2", false);
  log.AddItem("c", "3", true);
  log.AddHeader("Empty middle");
  log.AddHeader("Also kept");
  log.AddItem("d", "4", true);
  log.AddHeader("Empty last");
  log.AddItem("e", "5", false);
  EXPECT_EQ(log.GetText(),
            "Kept:\r\n"
            "----------\r\n"
            "  2.3 c: 3\r\n"
            "\r\n"
            "Also kept:\r\n"
            "----------\r\n"
            "  4.1 d: 4\r\n");
  EXPECT_EQ(log.SectionNumber(), 5);
  EXPECT_EQ(log.ItemNumber(), 1);

  TLogItem none;
  none.AddHeader("A");
  none.AddItem("x", "y", false);
  EXPECT_EQ(none.GetText(), "");
}

TEST(LogItem, KeepsEveryItemOnOneLineWhateverTheTextsHold) {
  // Custom texts and foreign values with line breaks, a name holding ": " and an empty value.
  TLogItem log;
  log.AddHeader("Two\r\nlines");
  log.AddItem("Na: me", "first\r\nsecond\tthird", true);
  log.AddItem("Longer name", "", true);
  EXPECT_EQ(log.GetText(), std::string("Two  lines:\r\n") + std::string(42, '-') + "\r\n" +
                               "  1.1 Na         : me: first  second third\r\n"
                               "  1.2 Longer name: \r\n");
}

}  // namespace
