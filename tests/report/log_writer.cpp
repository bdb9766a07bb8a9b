// Child program for the log tests: saves Count reports tagged Tag to the log File with the
// given capacity, as a crashing program of its own would.
//   log_writer <file> <tag> <count> <capacity>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "report/log_file_win.h"

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  const int count = std::atoi(argv[3]);
  int failures = 0;
  for (int i = 0; i < count; ++i) {
    report::TLogSaveStep step;
    step.FileName = argv[1];
    step.Capacity = std::atoi(argv[4]);
    step.Report = std::string("VantorLog 4.5.4\r\n\r\nException:\r\n----\r\n  2.5 Message: ") +
                  argv[2] + " " + std::to_string(i) + "\r\n";
    if (!report::SaveReportToLog(step)) ++failures;
  }
  std::printf("%d failures\n", failures);
  return failures == 0 ? 0 : 1;
}
