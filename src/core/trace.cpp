#include "core/trace.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

#include "runtime/exceptions.h"

namespace vl {

namespace core {
namespace detail {
std::atomic<bool> TraceEnabled{false};
}  // namespace detail

namespace {

TraceTime LibraryClock() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &now);
#else
  localtime_r(&now, &tm);
#endif
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

void LibraryFileWriter(const std::string& path, const std::string& contents) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw EFCreateError(path, std::strerror(errno));
  size_t written = std::fwrite(contents.data(), 1, contents.size(), f);
  int closed = std::fclose(f);
  if (written != contents.size() || closed != 0) throw EFCreateError(path, std::strerror(errno));
}

// The trace state. Everything here is guarded by Lock; the enabled flag is also kept in
// detail::TraceEnabled for the unlocked test at the start of Trace.
//
// The file is never written under Lock: a write can raise, and once every raise is traced a raise
// under Lock would come back to Trace on the same thread and wait on Lock for ever. Lines are
// built under Lock; the file is written after it is released. Writes are taken in turn without
// waiting: a thread that finds another one writing leaves a request that the writer serves with
// a fresh copy of the lines before it stops, so the last write always holds every line.
struct State {
  std::mutex Lock;
  bool SaveOnNotify = false;
  bool SaveEachLine = false;
  std::vector<std::string> Lines;
  std::string Indent;
  std::string FileName;
  TraceClockProc Clock = LibraryClock;
  TraceFileWriterProc Writer = LibraryFileWriter;
  std::atomic<bool> Writing{false};
  std::atomic<bool> WriteRequested{false};
};

State& S() {
  // Never destroyed: threads may still trace while static objects are being destroyed.
  static State* state = new State;
  return *state;
}

// Set while this thread writes the trace file: a trace line made from inside the write (a raise
// of the writer, traced by the raise hook) is collected but does not start another write.
thread_local bool t_insideWrite = false;

// One write of the file with the lines as they are now; the caller does not hold Lock.
void WriteSnapshot(State& s) {
  std::string fileName, contents;
  TraceFileWriterProc writer;
  {
    std::lock_guard<std::mutex> guard(s.Lock);
    if (s.FileName.empty()) return;
    size_t size = 0;
    for (const auto& line : s.Lines) size += line.size() + 2;
    contents.reserve(size);
    for (const auto& line : s.Lines) {
      contents += line;
      contents += "\r\n";
    }
    fileName = s.FileName;
    writer = s.Writer;
  }
  writer(fileName, contents);
}

// Writes the file unless this thread is already writing it or another thread is (that one then
// writes again with the newer lines). A failure of this thread's write is raised to the caller.
void WriteFile(State& s) {
  if (t_insideWrite) return;
  s.WriteRequested.store(true);
  while (s.WriteRequested.load()) {
    if (s.Writing.exchange(true)) return;
    struct Inside {
      State& S;
      explicit Inside(State& state) : S(state) { t_insideWrite = true; }
      ~Inside() {
        t_insideWrite = false;
        S.Writing.store(false);
      }
    } inside(s);
    if (s.WriteRequested.exchange(false)) WriteSnapshot(s);
  }
}

}  // namespace

std::string FormatTraceTime(const TraceTime& t) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%02d %02d:%02d:%02d", t.Day % 100, t.Month % 100,
                t.Year % 100, t.Hour % 100, t.Minute % 100, t.Second % 100);
  return buf;
}

namespace detail {

void TraceLine(std::string_view name, std::initializer_list<TraceArg> args, int indentDelta) {
  // The arguments are formatted before the lock is taken: formatting reads through the
  // arguments' pointers, and a fault there must not happen while the lock is held.
  std::string text;
  for (const TraceArg& a : args) {
    if (&a != args.begin()) text += ", ";
    text += a.Format();
  }
  if (!text.empty()) text = "(" + text + ")";
  State& s = S();
  std::unique_lock<std::mutex> guard(s.Lock);
  if (indentDelta < 0) {
    // More closing than opening calls must not underflow the shared indentation.
    size_t cut = static_cast<size_t>(-static_cast<int64_t>(indentDelta));
    s.Indent.resize(cut >= s.Indent.size() ? 0 : s.Indent.size() - cut);
  }
  std::string line = FormatTraceTime(s.Clock());
  line += "  ";
  line += s.Indent;
  line += name;
  line += text;
  if (indentDelta > 0) s.Indent.append(static_cast<size_t>(indentDelta), ' ');
  s.Lines.push_back(std::move(line));
  if (!s.SaveEachLine) return;
  guard.unlock();
  // A trace call runs inside hooks and error handlers: a file that cannot be written must not
  // turn into an error there. SaveTraceLog reports it.
  try {
    WriteFile(s);
  } catch (...) {
  }
}

}  // namespace detail

void SetTraceClock(TraceClockProc clock) {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.Lock);
  s.Clock = clock ? clock : LibraryClock;
}

void SetTraceFileWriter(TraceFileWriterProc writer) {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.Lock);
  s.Writer = writer ? writer : LibraryFileWriter;
}

TraceSwitches TraceSwitchesFromArguments(const std::vector<std::string>& arguments) {
  TraceSwitches sw;
  if (arguments.empty()) return sw;
  std::string last = arguments.back();
  for (char& c : last) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  sw.Enabled = sw.SaveOnNotify = last.find("DEBUG") != std::string::npos;
  sw.SaveEachLine = last.find("SAVE") != std::string::npos;
  return sw;
}

void SetTraceSwitches(const TraceSwitches& switches) {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.Lock);
  detail::TraceEnabled.store(switches.Enabled);
  s.SaveOnNotify = switches.SaveOnNotify;
  s.SaveEachLine = switches.SaveEachLine;
}

TraceSwitches CurrentTraceSwitches() {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.Lock);
  TraceSwitches sw;
  sw.Enabled = detail::TraceEnabled.load();
  sw.SaveOnNotify = s.SaveOnNotify;
  sw.SaveEachLine = s.SaveEachLine;
  return sw;
}

void SetTraceFileName(const std::string& path) {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.Lock);
  s.FileName = path;
}

std::string TraceFileName() {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.Lock);
  return s.FileName;
}

std::vector<std::string> TraceLines() {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.Lock);
  return s.Lines;
}

std::string TraceIndent() {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.Lock);
  return s.Indent;
}

void ClearTrace() {
  State& s = S();
  std::lock_guard<std::mutex> guard(s.Lock);
  s.Lines.clear();
  s.Lines.shrink_to_fit();
  s.Indent.clear();
}

}  // namespace core

void SaveTraceLog() {
  if (IsTraceEnabled()) core::WriteFile(core::S());
}

void SaveTraceLogIfRequested() {
  if (IsTraceEnabled() && core::CurrentTraceSwitches().SaveOnNotify) core::WriteFile(core::S());
}

bool IsTraceEnabled() {
  core::State& s = core::S();
  std::lock_guard<std::mutex> guard(s.Lock);
  return core::detail::TraceEnabled.load();
}

void EnableTrace() {
  core::State& s = core::S();
  std::lock_guard<std::mutex> guard(s.Lock);
  core::detail::TraceEnabled.store(true);
}

}  // namespace vl
