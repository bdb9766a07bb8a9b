// Child program for the log tests: saves Count reports tagged Tag to the log File with the
// given capacity, as a crashing program of its own would. It starts when the named event Gate
// is set, so that several writers really run at the same time; each report carries 32 KB of
// padding so that every load and save takes a while.
//   log_writer <file> <tag> <count> <capacity> <gate>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "report/log_file_win.h"

using namespace vl;

int main(int argc, char** argv) {
  if (argc != 6) return 2;
  HANDLE gate = CreateEventA(nullptr, TRUE, FALSE, argv[5]);
  if (gate == nullptr || WaitForSingleObject(gate, 60000) != WAIT_OBJECT_0) return 3;
  const int count = std::atoi(argv[3]);
  std::string padding;
  while (padding.size() < 32768) padding += "|00401000|writer.exe|Unit|Class|Procedure|1|\r\n";
  int failures = 0;
  for (int i = 0; i < count; ++i) {
    report::TLogSaveStep step;
    step.FileName = argv[1];
    step.Capacity = std::atoi(argv[4]);
    step.Report = std::string("VantorLog 4.5.4\r\n\r\nException:\r\n----\r\n  2.5 Message: ") +
                  argv[2] + " " + std::to_string(i) + "\r\n\r\n" + padding;
    if (!report::SaveReportToLog(step)) ++failures;
  }
  std::printf("%d failures\n", failures);
  return failures == 0 ? 0 : 1;
}
