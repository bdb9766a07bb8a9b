// Child program for the log tests: saves Count reports tagged Tag to the log File with the
// given capacity, as a crashing program of its own would. It sets the event "<Gate>_ready" and
// starts when the named event Gate is set, so that several writers really run at the same time
// (or another process can kill it at a chosen moment of a save); each report carries 32 KB of
// padding so that every load and save takes a while. With "skip" (hfSkipRepeats) the reports
// are the same crashes in every writer ("crash <i>"), each tested for a duplicate first.
//   log_writer <file> <tag> <count> <capacity> <gate> [skip]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "report/log_file_win.h"

using namespace vl;

int main(int argc, char** argv) {
  if (argc != 6 && argc != 7) return 2;
  const bool skip = argc == 7;
  HANDLE gate = CreateEventA(nullptr, TRUE, FALSE, argv[5]);
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, (std::string(argv[5]) + "_ready").c_str());
  if (gate == nullptr || ready == nullptr || !SetEvent(ready) ||
      WaitForSingleObject(gate, 60000) != WAIT_OBJECT_0)
    return 3;
  const int count = std::atoi(argv[3]);
  std::string padding;
  while (padding.size() < 32768) padding += "|00401000|writer.exe|Unit|Class|Procedure|1|\r\n";
  int failures = 0;
  for (int i = 0; i < count; ++i) {
    report::TLogSaveStep step;
    step.FileName = argv[1];
    step.Capacity = std::atoi(argv[4]);
    const std::string message = (skip ? std::string("crash") : argv[2]) + " " + std::to_string(i);
    step.Report =
        "VantorLog 4.5.4\r\n\r\nException:\r\n----\r\n  2.2 Address: 00401000\r\n  2.3 Module : "
        "writer.exe\r\n  2.4 Type   : EWriter\r\n  2.5 Message: " +
        message + "\r\n\r\n" + padding;
    if (skip) {
      const report::TDuplicateValues values{"00401000", "writer.exe", "EWriter", message};
      step.IsDuplicate = report::IsDuplicateInLog(step.FileName, true, values);
    }
    if (!report::SaveReportToLog(step)) ++failures;
  }
  std::printf("%d failures\n", failures);
  return failures == 0 ? 0 : 1;
}
