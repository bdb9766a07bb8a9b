// The log file on disk: TLogFile (load, add, find, save) and the pipeline's two log steps,
// the duplicate test and the save.
//
// How the file is kept safe:
// - every read and write is checked; a short write, a failed truncation, a file that cannot be
//   opened or read, or one too large to load raises ELogFileError and the file stays as it was;
// - a save never leaves a mixed file: new entries are appended after the old ones; when old
//   entries go (capacity) or damaged text is left out, the whole text is written to "<log>.tmp",
//   flushed, and moved over the log in one step;
// - text the parser cannot keep (damaged entries, text between entries) is appended to
//   "<log>.bak" before the file is rewritten; a damaged log without any entry (zero-filled, or
//   starting with a cut entry) goes there whole and the log starts afresh; a file with other
//   text but no entry is not ours and is never rewritten;
// - processes saving the same log take turns: the duplicate test and load -> add -> save run
//   under a named mutex made from the canonical path (an abandoned mutex counts as taken; after
//   5 s the save goes on without it). Readers open the file sharing everything.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "report/log_text.h"
#include "report/report_blocks.h"
#include "runtime/exceptions.h"

namespace vl {

class ELogFileError : public Exception {
 public:
  using Exception::Exception;
};

namespace report {

// Files above this size are not loaded (the step fails, the file is left alone).
constexpr uint64_t MaxLogFileSize = 256ull * 1024 * 1024;

class TLogFile {
 public:
  enum TMode { lmReadWrite, lmReadOnly };
  // Remembers FileName; when the file exists, opens it (deny-none) and loads its entries. A
  // missing file (or folder) starts empty. Raises ELogFileError when the file exists but
  // cannot be opened or read, or is too large.
  explicit TLogFile(const std::string& FileName, TMode Mode = lmReadWrite);
  ~TLogFile();
  TLogFile(const TLogFile&) = delete;
  TLogFile& operator=(const TLogFile&) = delete;

  const std::string& FileName() const { return fileName_; }
  TLogText& Text() { return text_; }
  const TLogText& Text() const { return text_; }

  bool Find(const std::vector<std::string>& Keys, const std::vector<std::string>& Values) const {
    return text_.Find(Keys, Values);
  }
  void Add(const std::string& Report, int MaxCount) { text_.Add(Report, MaxCount); }
  std::string GetText() const { return text_.GetText(); }

  // Refuses a foreign file that is not a damaged log; first appends the dropped text to
  // "<log>.bak"; then appends the new entries when nothing else changed and the file still has
  // the loaded size, else replaces the file through "<log>.tmp". Raises ELogFileError on any
  // failure (the log then holds its old entries, and at most a cut last entry after them).
  void Save();

 private:
  size_t Replace();

  std::string fileName_;
  TMode mode_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  TLogText text_;
};

// The log's path as the system resolves it, whatever its spelling: full, every existing part in
// its long form, upper-cased (ANSI code page), "\" replaced by "/".
std::string CanonicalLogPath(const std::string& FileName);

// Kernel object names stay below this length.
constexpr size_t MaxLogMutexName = 250;
// The name of the mutex that serialises the saves of FileName: "VantorLog.Log." + the canonical
// path; when that is too long, "VantorLog.Log." + a 16-digit hash of it + "." + its end.
std::string LogMutexName(const std::string& FileName);

// Holds the log's mutex while it lives (waits up to TimeoutMs; goes on without it after that).
class TLogFileLock {
 public:
  explicit TLogFileLock(const std::string& FileName, DWORD TimeoutMs = 5000);
  ~TLogFileLock();
  TLogFileLock(const TLogFileLock&) = delete;
  TLogFileLock& operator=(const TLogFileLock&) = delete;
  bool Owned() const { return owned_; }

 private:
  HANDLE mutex_ = nullptr;
  bool owned_ = false;
};

// True only when SkipRepeats is set and the log holds an entry with all four values. Opens the
// log only then, read-only, under the log's lock; a log that cannot be read counts as no
// duplicate (traced). When it finds none, the next SaveReportToLog of the same log in this
// process repeats the test under its own lock and adds nothing if the entry has appeared.
bool IsDuplicateInLog(const std::string& FileName, bool SkipRepeats,
                      const TDuplicateValues& Values);

// The pipeline's log step.
struct TLogSaveStep {
  std::string FileName;
  int32_t Capacity = 32;
  bool IsDuplicate = false;
  bool AskSteps = false;            // hfAskSteps
  std::string ReproductionText;     // trimmed user text, empty when not asked
  std::string ReproductionCaption;  // Reproduce Dialog/Caption
  bool SendWholeLog = false;
  // In: the full report without the reproduction block. Never changed, so a retried step
  // extends it once.
  std::string Report;
  // In/out: the send text (the extended report, or the whole log with SendWholeLog).
  std::string SendText;
  // Out: the report as logged (with the reproduction block when one was added).
  std::string LoggedReport;
  // Called with 2 before and 3 after saving; may set StepResult false to suppress the write.
  std::function<void(int Action, bool& StepResult)> ActionHandler;
  // Called with 3 when the step failed; may set Retry.
  std::function<void(int Code, bool& Retry)> ErrorHandler;
};

// Runs the log step; returns StepResult. A failure records the step error (eeLogError, section
// "Log") and returns false; it never raises.
bool SaveReportToLog(TLogSaveStep& Step);

}  // namespace report

}  // namespace vl
