// Prints what the log step costs on full log files of about 1, 8 and 32 MB: SaveReportToLog
// (load, add, save) and IsDuplicateInLog (load, find), in ms per MB, and the per-MB ratio of the
// largest to the smallest file. Figures only; nothing is asserted.
//   log_file_bench [folder]   (default: the temporary folder)
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <utility>

#include "figure.h"
#include "report/log_file_win.h"

using namespace vl;

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string Report(int n) {
  std::string report =
      "VantorLog 4.5.4\r\n\r\nException:\r\n----------\r\n  2.2 Address: 00401000\r\n"
      "  2.3 Module : bench.exe\r\n  2.4 Type   : EBench\r\n  2.5 Message: report " +
      std::to_string(n) + ".\r\n\r\n";
  // About 4 KB, the size of a real report with its tables and dump.
  while (report.size() < 4096) report += "|00401000|bench.exe|Unit|Class|Procedure|123|\r\n";
  return report;
}

}  // namespace

int main(int argc, char** argv) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = argc > 1 ? argv[1] : temp;
  const std::string file = folder + "\\vl_log_bench.vlf";
  double firstPerMb = 0;
  for (int megabytes : {1, 8, 32}) {
    const int entries = megabytes * 256;  // 4 KB each
    std::string text;
    for (int i = 0; i < entries; ++i) text += Report(i) + "\r\n\r\n\r\n\r\n";
    HANDLE handle = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(handle);
    const double mb = static_cast<double>(text.size()) / 1048576.0;

    report::TDuplicateValues values{"00401000", "bench.exe", "EBench", "not there."};
    auto start = Clock::now();
    const bool duplicate = report::IsDuplicateInLog(file, true, values);
    const double findMs = MillisecondsSince(start);

    report::TLogSaveStep step;
    step.FileName = file;
    step.Capacity = entries;  // full: the oldest entry goes
    step.Report = Report(entries);
    start = Clock::now();
    const bool saved = report::SaveReportToLog(step);
    const double saveMs = MillisecondsSince(start);
    const double perMb = saveMs / mb;
    if (megabytes == 1) firstPerMb = perMb;
    std::printf(
        "%2d MB log (%.2f MB, %d entries): SaveReportToLog %.1f ms = %.2f ms/MB%s; "
        "IsDuplicateInLog %.1f ms = %.2f ms/MB%s\n",
        megabytes, mb, entries, saveMs, perMb, saved ? "" : " (failed)", findMs, findMs / mb,
        duplicate ? " (found?)" : "");
    if (megabytes != 8) {
      bench::Figure(bench::Format("log save, %d MB log", megabytes),
                    bench::Format("%.2f ms/MB", perMb), "", "");
      bench::Figure(bench::Format("log duplicate test, %d MB log", megabytes),
                    bench::Format("%.2f ms/MB", findMs / mb), "", "");
    }
    // Where the time goes: the text model alone, without the file system.
    std::string copy = text;  // Load takes its buffer over; the copy is not part of the parse
    start = Clock::now();
    report::TLogText model;
    model.Load(std::move(copy));
    const double loadMs = MillisecondsSince(start);
    start = Clock::now();
    model.Find(values.Keys(), values.Values());
    const double modelFindMs = MillisecondsSince(start);
    start = Clock::now();
    const size_t pieces = model.Pieces().size();
    const double piecesMs = MillisecondsSince(start);
    start = Clock::now();
    const std::string out = model.GetText();
    const double getTextMs = MillisecondsSince(start);
    std::printf(
        "   text model: Load %.1f ms, Find %.1f ms, Pieces %.1f ms (%zu), GetText %.1f ms (%zu "
        "bytes)\n",
        loadMs, modelFindMs, piecesMs, pieces, getTextMs, out.size());
    if (megabytes == 32 && firstPerMb > 0) {
      std::printf("per-MB ratio 32 MB / 1 MB: %.2f\n", perMb / firstPerMb);
      bench::Figure("log save per MB, 32 MB / 1 MB", bench::Format("%.2f", perMb / firstPerMb), "",
                    "");
    }
  }
  DeleteFileA(file.c_str());
  return 0;
}
