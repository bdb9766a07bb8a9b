#include "report/log_file_win.h"

#include <new>
#include <utility>

#include "core/internal_errors.h"
#include "core/trace.h"

namespace vl::report {

namespace {

std::string SystemError(const char* what, const std::string& path) {
  return std::string(what) + " \"" + path + "\" (error " + std::to_string(GetLastError()) + ")";
}

void WriteAll(HANDLE handle, std::string_view text, const std::string& path) {
  size_t done = 0;
  while (done < text.size()) {
    const DWORD chunk =
        static_cast<DWORD>(text.size() - done > (1u << 20) ? (1u << 20) : text.size() - done);
    DWORD written = 0;
    if (!WriteFile(handle, text.data() + done, chunk, &written, nullptr)) {
      throw ELogFileError(SystemError("Cannot write", path));
    }
    if (written == 0) throw ELogFileError("Short write to \"" + path + "\"");
    done += written;
  }
}

// Writes Pieces one after the other: large pieces straight from where they are, runs of small
// ones gathered first so a fragmented log does not cost one write per entry.
size_t WritePieces(HANDLE handle, const std::vector<std::string_view>& pieces,
                   const std::string& path) {
  constexpr size_t kGather = 64 * 1024;
  std::string gathered;
  size_t total = 0;
  auto flush = [&] {
    WriteAll(handle, gathered, path);
    gathered.clear();
  };
  for (std::string_view piece : pieces) {
    total += piece.size();
    if (piece.size() >= kGather) {
      if (!gathered.empty()) flush();
      WriteAll(handle, piece, path);
      continue;
    }
    if (gathered.size() + piece.size() > kGather) flush();
    if (gathered.capacity() < kGather) gathered.reserve(kGather);
    gathered.append(piece);
  }
  if (!gathered.empty()) flush();
  return total;
}

}  // namespace

TLogFile::TLogFile(const std::string& FileName, TMode Mode) : fileName_(FileName), mode_(Mode) {
  Trace("TLogFile.Create", {FileName}, 2);
  const DWORD access = Mode == lmReadOnly ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
  handle_ =
      CreateFileA(FileName.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle_ == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      throw ELogFileError(SystemError("Cannot open", FileName));
    }
    Trace("TLogFile.Create=", {"new"}, -2);
    return;
  }
  try {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle_, &size)) throw ELogFileError(SystemError("Cannot size", FileName));
    if (static_cast<uint64_t>(size.QuadPart) > MaxLogFileSize) {
      throw ELogFileError("The log file \"" + FileName + "\" is too large (" +
                          std::to_string(size.QuadPart) + " bytes)");
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
      DWORD read = 0;
      const DWORD chunk =
          static_cast<DWORD>(bytes.size() - done > (1u << 20) ? (1u << 20) : bytes.size() - done);
      if (!ReadFile(handle_, &bytes[done], chunk, &read, nullptr)) {
        throw ELogFileError(SystemError("Cannot read", FileName));
      }
      if (read == 0) break;  // the file shrank meanwhile: keep what was read
      done += read;
    }
    bytes.resize(done);
    text_.Load(std::move(bytes));
  } catch (const std::bad_alloc&) {
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    throw ELogFileError("Not enough memory to load \"" + FileName + "\"");
  } catch (...) {
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    throw;
  }
  Trace("TLogFile.Create=", {text_.Count()}, -2);
}

TLogFile::~TLogFile() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

void TLogFile::Save() {
  Trace("TLogFile.Save", {fileName_, text_.Count()}, 2);
  if (mode_ == lmReadOnly) throw ELogFileError("The log file was opened for reading only");
  if (text_.Foreign() && !text_.Damaged()) {
    throw ELogFileError("\"" + fileName_ + "\" holds no log entry; it is left unchanged");
  }
  if (!text_.DroppedText().empty()) {
    // Keep what the parser could not carry over before the file is rewritten without it.
    const std::string bak = fileName_ + ".bak";
    HANDLE file = CreateFileA(bak.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw ELogFileError(SystemError("Cannot open", bak));
    try {
      WriteAll(file, text_.DroppedText(), bak);
    } catch (...) {
      CloseHandle(file);
      throw;
    }
    CloseHandle(file);
  }
  if (handle_ == INVALID_HANDLE_VALUE) {
    handle_ = CreateFileA(fileName_.c_str(), GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE)
      throw ELogFileError(SystemError("Cannot create", fileName_));
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(handle_, &size)) throw ELogFileError(SystemError("Cannot size", fileName_));
  size_t written = 0;
  if (text_.AppendOnly() && static_cast<uint64_t>(size.QuadPart) == text_.LoadedSize()) {
    // Only new entries: they go after the old ones, so a save cut short leaves the old entries
    // whole and at most an unterminated last one, which the next load sets aside.
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    if (!SetFilePointerEx(handle_, zero, nullptr, FILE_END)) {
      throw ELogFileError(SystemError("Cannot seek in", fileName_));
    }
    written = WritePieces(handle_, text_.AppendedPieces(), fileName_);
  } else {
    written = Replace();
  }
  Trace("TLogFile.Save=", {static_cast<int64_t>(written)}, -2);
}

size_t TLogFile::Replace() {
  // The whole text goes to "<log>.tmp" (share-none, so a second writer that went on without the
  // lock fails instead of mixing its text in), reaches the disk, then takes the log's name in one
  // step: the log is the old file or the new one, never a mixture.
  const std::string temporary = fileName_ + ".tmp";
  HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw ELogFileError(SystemError("Cannot create", temporary));
  size_t written = 0;
  try {
    // Written straight from the loaded text and the added items: no copy of the whole log.
    written = WritePieces(file, text_.Pieces(), temporary);
    if (!FlushFileBuffers(file)) throw ELogFileError(SystemError("Cannot flush", temporary));
  } catch (...) {
    CloseHandle(file);
    DeleteFileA(temporary.c_str());
    throw;
  }
  CloseHandle(file);
  CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
  if (!MoveFileExA(temporary.c_str(), fileName_.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const std::string error = SystemError("Cannot replace", fileName_);
    DeleteFileA(temporary.c_str());
    throw ELogFileError(error);
  }
  return written;
}

std::string CanonicalLogPath(const std::string& FileName) {
  std::vector<char> buffer(32768);
  char* full = buffer.data();
  const DWORD size = static_cast<DWORD>(buffer.size());
  const DWORD n = GetFullPathNameA(FileName.c_str(), size, full, nullptr);
  std::string path = n > 0 && n < size ? std::string(full, n) : FileName;
  // The long form of the longest part that exists (the log itself may not exist yet); the rest
  // is kept as written.
  std::string tail;
  for (int depth = 0; depth < 64 && !path.empty(); ++depth) {
    const DWORD m = GetLongPathNameA(path.c_str(), full, size);
    if (m > 0 && m < size) {
      path.assign(full, m);
      break;
    }
    const size_t slash = path.find_last_of('\\');
    if (slash == std::string::npos || slash + 1 == path.size()) break;
    tail = path.substr(slash) + tail;
    path.resize(slash);
  }
  path += tail;
  if (!path.empty()) CharUpperBuffA(&path[0], static_cast<DWORD>(path.size()));
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

std::string LogMutexName(const std::string& FileName) {
  const std::string path = CanonicalLogPath(FileName);
  const std::string prefix = "VantorLog.Log.";
  if (prefix.size() + path.size() < MaxLogMutexName) return prefix + path;
  // Too long for a kernel object's name: a 64-bit FNV-1a hash of the whole path and its end.
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : path) hash = (hash ^ c) * 1099511628211ull;
  char hex[17];
  for (int i = 15; i >= 0; --i, hash >>= 4) hex[i] = "0123456789ABCDEF"[hash & 15];
  hex[16] = '\0';
  const std::string head = prefix + hex + ".";
  return head + path.substr(path.size() - (MaxLogMutexName - 1 - head.size()));
}

TLogFileLock::TLogFileLock(const std::string& FileName, DWORD TimeoutMs) {
  mutex_ = CreateMutexA(nullptr, FALSE, LogMutexName(FileName).c_str());
  if (mutex_ == nullptr) {
    Trace("TLogFileLock: no mutex", {static_cast<uint32_t>(GetLastError())});
    return;
  }
  const DWORD wait = WaitForSingleObject(mutex_, TimeoutMs);
  owned_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
  if (!owned_) Trace("TLogFileLock: going on without the lock", {static_cast<uint32_t>(wait)});
}

TLogFileLock::~TLogFileLock() {
  if (owned_) ReleaseMutex(mutex_);
  if (mutex_ != nullptr) CloseHandle(mutex_);
}

namespace {

// The duplicate test the pipeline made for the report it is about to save: SaveReportToLog
// repeats it under the log's lock, so of two processes logging one crash only the first adds it.
struct TPendingDuplicateTest {
  std::string Log;  // canonical path; empty: none
  TDuplicateValues Values;
};

CRITICAL_SECTION& PendingLock() {
  static CRITICAL_SECTION* lock = [] {
    auto* section = new CRITICAL_SECTION;
    InitializeCriticalSection(section);
    return section;
  }();
  return *lock;
}

TPendingDuplicateTest& Pending() {
  static auto* pending = new TPendingDuplicateTest;
  return *pending;
}

// Sets the pending test and returns the one it replaces.
TPendingDuplicateTest SetPending(TPendingDuplicateTest test) {
  EnterCriticalSection(&PendingLock());
  std::swap(Pending(), test);
  LeaveCriticalSection(&PendingLock());
  return test;
}

bool FindInLog(const TLogFile& log, const TDuplicateValues& values) {
  return log.Find(values.Keys(), values.Values());
}

}  // namespace

bool IsDuplicateInLog(const std::string& FileName, bool SkipRepeats,
                      const TDuplicateValues& Values) {
  Trace("IsDuplicateInLog", {FileName, Values.Address, Values.Module, Values.Type}, 2);
  bool result = false;
  TPendingDuplicateTest pending;
  if (SkipRepeats) {
    try {
      pending.Log = CanonicalLogPath(FileName);
      pending.Values = Values;
      TLogFileLock lock(FileName);
      TLogFile log(FileName, TLogFile::lmReadOnly);
      result = FindInLog(log, Values);
    } catch (const std::exception& e) {
      Trace("IsDuplicateInLog: the log cannot be read", {e.what()});
    } catch (...) {
      Trace("IsDuplicateInLog: the log cannot be read");
    }
  }
  try {
    SetPending(result ? TPendingDuplicateTest() : std::move(pending));
  } catch (...) {
    SetPending(TPendingDuplicateTest());
  }
  Trace("IsDuplicateInLog=", {result}, -2);
  return result;
}

bool SaveReportToLog(TLogSaveStep& Step) {
  Trace("SaveReportToLog", {Step.FileName, Step.Capacity, Step.IsDuplicate}, 2);
  bool stepResult = true;
  ClearStepError();
  auto action = [&Step, &stepResult](int code) {
    if (!Step.ActionHandler) return;
    try {
      Step.ActionHandler(code, stepResult);
    } catch (...) {
      Trace("SaveReportToLog: the action handler raised", {code});
    }
  };
  action(2);
  // The pipeline's duplicate test of this log, repeated below under the lock.
  TPendingDuplicateTest pending = SetPending(TPendingDuplicateTest());
  try {
    if (!pending.Log.empty() && pending.Log != CanonicalLogPath(Step.FileName)) pending.Log.clear();
  } catch (...) {
    pending.Log.clear();
  }
  const bool wanted = stepResult;
  bool retry = false;
  do {
    ClearStepError();
    stepResult = wanted;
    try {
      TLogFileLock lock(Step.FileName);
      TLogFile log(Step.FileName);
      if (!Step.IsDuplicate && !pending.Log.empty() && FindInLog(log, pending.Values)) {
        Trace("SaveReportToLog: logged meanwhile by another process");
        Step.IsDuplicate = true;
      }
      if (!Step.IsDuplicate) {
        Step.LoggedReport = Step.Report;
        if (Step.AskSteps && !Step.ReproductionText.empty()) {
          Step.LoggedReport =
              WithReproductionBlock(Step.Report, Step.ReproductionCaption, Step.ReproductionText);
          Step.SendText = Step.LoggedReport;
        }
        log.Add(Step.LoggedReport, Step.Capacity);
      }
      if (Step.SendWholeLog) Step.SendText = log.GetText();
      if (stepResult) log.Save();
    } catch (...) {
      ReportStepError(eeLogError, "Log");
      stepResult = false;
    }
    retry = false;
    if (!stepResult && Step.ErrorHandler && LastStepError().Code != eeNone) {
      try {
        Step.ErrorHandler(3, retry);
      } catch (...) {
        retry = false;
      }
    }
  } while (retry);
  action(3);
  Trace("SaveReportToLog=", {stepResult}, -2);
  return stepResult;
}

}  // namespace vl::report
