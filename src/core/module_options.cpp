#include "core/module_options.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "core/file_names.h"
#include "core/trace.h"

namespace vl {

namespace core {

const char* const DefaultSmtpSender = "crash-reports@example.com";
const char* const DefaultWatchdogMessage = "The application seems to be frozen.";

std::vector<std::string> DefaultTextTable() {
  return std::vector<std::string>(DefaultTexts, DefaultTexts + TextCount);
}

std::string TrimFinalLineBreak(const std::string& s) {
  if (s.size() >= 2 && s.find("\r\n") == s.size() - 2) return s.substr(0, s.size() - 2);
  return s;
}

namespace {

// ---- writing ----

class Writer {
 public:
  explicit Writer(TStream& stream) : S(stream) {}
  void Bytes(const void* p, size_t n) {
    if (n != 0 && S.Write(p, n) != n) throw EStreamError("Stream write error");
  }
  void U8(uint8_t v) { Bytes(&v, 1); }
  void Bool(bool v) { U8(v ? 1 : 0); }
  void U16(uint16_t v) {
    uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
    Bytes(b, 2);
  }
  void U32(uint32_t v) {
    uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                    static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
    Bytes(b, 4);
  }
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void Str(const std::string& value) {
    std::string s = TrimFinalLineBreak(value);
    if (s.size() > 0x7FFFFFFFu) throw EStreamError("String too long for the options stream");
    I32(static_cast<int32_t>(s.size()));
    for (char& c : s) c = static_cast<char>(static_cast<uint8_t>(c) ^ core::OptionsStringMask);
    Bytes(s.data(), s.size());
  }

 private:
  TStream& S;
};

// ---- reading: every read is bounded by the bytes that actually arrive ----

class Reader {
 public:
  explicit Reader(TStream& stream) : S(stream) {}
  void Bytes(void* p, size_t n, const char* what) {
    if (n != 0 && S.Read(p, n) != n) Short(what);
  }
  uint8_t U8(const char* what) {
    uint8_t v;
    Bytes(&v, 1, what);
    return v;
  }
  // Any byte other than 0 is true: only what cannot be read at all is refused.
  bool Bool(const char* what) { return U8(what) != 0; }
  uint16_t U16(const char* what) {
    uint8_t b[2];
    Bytes(b, 2, what);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
  }
  uint32_t U32(const char* what) {
    uint8_t b[4];
    Bytes(b, 4, what);
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
  }
  int32_t I32(const char* what) { return static_cast<int32_t>(U32(what)); }
  std::string Str(const char* what) {
    int32_t n = I32(what);
    if (n < 0) Corrupt(what, n);
    // Grow the string only as bytes arrive, so that a corrupt length cannot ask for more
    // memory than the stream holds.
    constexpr size_t kChunk = 64 * 1024;
    std::string s;
    size_t left = static_cast<size_t>(n);
    while (left > 0) {
      size_t part = std::min(left, kChunk);
      size_t at = s.size();
      s.resize(at + part);
      Bytes(&s[at], part, what);
      left -= part;
    }
    for (char& c : s) c = static_cast<char>(static_cast<uint8_t>(c) ^ core::OptionsStringMask);
    return s;
  }
  void Skip(size_t n, const char* what) {
    uint8_t buf[16];
    while (n > 0) {
      size_t part = std::min(n, sizeof buf);
      Bytes(buf, part, what);
      n -= part;
    }
  }

  [[noreturn]] static void Short(const char* what) {
    throw EVantorOptionsStreamError(
        Format("The options stream ends before %s could be read.", what));
  }
  [[noreturn]] static void Corrupt(const char* what, long long value) {
    throw EVantorOptionsStreamError(
        Format("The options stream is corrupt: %s has the impossible value %lld.", what, value));
  }

 private:
  TStream& S;
};

bool SkippedText(int index, uint16_t v) {
  if (v < 420 && index == 15) return true;
  if (v < 421 && index == 14) return true;
  if (v < 450) {
    if ((index >= 8 && index <= 11) || (index >= 16 && index <= 18) || index == 23 || index == 37 ||
        index == 45 || index == 47 || index == 48 || index >= 53)
      return true;
  }
  return false;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace
}  // namespace core

using core::Reader;
using core::Writer;

TVantorModuleOptions::TVantorModuleOptions(const std::string& ModuleName, bool AutoApply)
    : FModuleName(ModuleName), FAutoApply(AutoApply) {
  Trace("TVantorModuleOptions.Create", {ModuleName}, 2);
  FFilterClasses.OnChange = [this] { ChangeCheck(); };
  FFilterMessages.OnChange = [this] { ChangeCheck(); };
  SetDefaults();
  FUpdateCount = 0;
  Trace("TVantorModuleOptions.Create=", {}, -2);
}

TVantorModuleOptions::~TVantorModuleOptions() {
  Trace("TVantorModuleOptions.Destroy", {FModuleName});
  FFilterClasses.OnChange = nullptr;
  FFilterMessages.OnChange = nullptr;
}

void TVantorModuleOptions::ChangeCheck() {
  if (FUpdateCount > 0 || !FAutoApply) return;
  auto isOwn = core::Seams().IsCrashReporterModule;
  if (isOwn && isOwn(FModuleName)) Changed();
}

void TVantorModuleOptions::StoreActive(bool Value) {
  FActive = Value;
  ChangeCheck();
}

void TVantorModuleOptions::StoreWatchdogOn(bool Value) {
  {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    F.WatchdogOn = Value;
  }
  ChangeCheck();
}

void TVantorModuleOptions::SetActive(bool Value) { StoreActive(Value); }
void TVantorModuleOptions::SetWatchdogOn(bool Value) { StoreWatchdogOn(Value); }

#define VL_SETTER(Name, Type)                             \
  void TVantorModuleOptions::Set##Name(Type Value) {      \
    {                                                     \
      std::lock_guard<std::recursive_mutex> guard(FLock); \
      F.Name = Value;                                     \
    }                                                     \
    ChangeCheck();                                        \
  }
VL_SETTER(ReservedFlag, bool)
VL_SETTER(FiltersOn, bool)
VL_SETTER(HandlingFlags, THandlingFlags)
VL_SETTER(TellUser, bool)
VL_SETTER(ReportInBody, bool)
VL_SETTER(SendWholeLog, bool)
VL_SETTER(AddScreenshot, bool)
VL_SETTER(ShowSmtpProgress, bool)
VL_SETTER(AppendToLog, bool)
VL_SETTER(FirstDetailsPage, uint8_t)
VL_SETTER(PaintedDialogs, bool)
VL_SETTER(WatchdogSeconds, int32_t)
VL_SETTER(WatchdogMessage, const std::string&)
VL_SETTER(SmtpSender, const std::string&)
VL_SETTER(SmtpServer, const std::string&)
VL_SETTER(SmtpServerPort, uint16_t)
VL_SETTER(SmtpUser, const std::string&)
VL_SETTER(SmtpLoginPassword, const std::string&)
VL_SETTER(ThirdButtonAction, uint8_t)
VL_SETTER(ShowThirdButton, bool)
VL_SETTER(ThirdButtonAfter, int32_t)
VL_SETTER(MailRecipients, const std::string&)
VL_SETTER(MailSubject, const std::string&)
VL_SETTER(MailMode, TMailMode)
VL_SETTER(ReportItems, uint32_t)
VL_SETTER(LogLocation, const std::string&)
VL_SETTER(MailBodyText, const std::string&)
VL_SETTER(UploadUrl, const std::string&)
VL_SETTER(AttachMinidump, bool)
VL_SETTER(SmtpSecurity, uint8_t)
#undef VL_SETTER

void TVantorModuleOptions::SetLogCapacity(int32_t Value) {
  {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    F.LogCapacity = Value == 0 ? 1 : Value;
  }
  ChangeCheck();
}

std::string TVantorModuleOptions::TextTable(uint8_t Index) const {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  return Index < F.TextTable.size() ? F.TextTable[Index] : std::string();
}

void TVantorModuleOptions::SetTextTable(uint8_t Index, const std::string& Value) {
  {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    if (Index >= F.TextTable.size()) return;
    F.TextTable[Index] = Value;
  }
  ChangeCheck();
}

void TVantorModuleOptions::SetDefaults() {
  Updating([&] {
    Fields defaults;
    std::lock_guard<std::recursive_mutex> guard(FLock);
    F = std::move(defaults);
    FActive = true;
  });
}

void TVantorModuleOptions::Assign(const TVantorModuleOptions* Source) {
  Trace("TVantorModuleOptions.Assign", {FModuleName, Source ? Source->FModuleName : ""});
  if (Source == nullptr) throw EConvertError("Impossible to assign nil as TVantorModuleOptions.");
  if (Source == this) return;
  Updating([&] {
    const Fields s = Source->Snapshot();
    FFilterClasses.Assign(s.FilterClasses);
    FFilterMessages.Assign(s.FilterMessages);
    {
      std::lock_guard<std::recursive_mutex> guard(FLock);
      F.TextTable = s.TextTable;
    }
    SetReservedFlag(s.ReservedFlag);
    SetAppendToLog(s.AppendToLog);
    SetPaintedDialogs(s.PaintedDialogs);
    SetWatchdogOn(s.WatchdogOn);
    SetWatchdogSeconds(s.WatchdogSeconds);
    SetWatchdogMessage(s.WatchdogMessage);
    SetSmtpSender(s.SmtpSender);
    SetSmtpServer(s.SmtpServer);
    SetSmtpServerPort(s.SmtpServerPort);
    SetSmtpUser(s.SmtpUser);
    SetSmtpLoginPassword(s.SmtpLoginPassword);
    SetShowSmtpProgress(s.ShowSmtpProgress);
    SetFirstDetailsPage(s.FirstDetailsPage);
    SetFiltersOn(s.FiltersOn);
    SetTellUser(s.TellUser);
    SetReportInBody(s.ReportInBody);
    SetSendWholeLog(s.SendWholeLog);
    SetAddScreenshot(s.AddScreenshot);
    SetShowThirdButton(s.ShowThirdButton);
    SetThirdButtonAction(s.ThirdButtonAction);
    SetHandlingFlags(s.HandlingFlags);
    SetLogCapacity(s.LogCapacity);
    SetThirdButtonAfter(s.ThirdButtonAfter);
    SetLogLocation(s.LogLocation);
    SetMailRecipients(s.MailRecipients);
    SetMailSubject(s.MailSubject);
    SetMailBodyText(s.MailBodyText);
    SetMailMode(s.MailMode);
    SetReportItems(s.ReportItems);
    SetUploadUrl(s.UploadUrl);
    SetAttachMinidump(s.AttachMinidump);
    SetSmtpSecurity(s.SmtpSecurity);
  });
}

void TVantorModuleOptions::SaveToStream(core::TStream& Stream) const {
  Trace("TVantorModuleOptions.SaveToStream", {FModuleName});
  std::lock_guard<std::recursive_mutex> guard(FLock);
  Writer w(Stream);
  w.Bool(F.ReservedFlag);
  w.Bool(F.FiltersOn);
  w.U8(F.HandlingFlags);
  w.Bool(F.TellUser);
  w.Bool(F.ReportInBody);
  w.Bool(F.SendWholeLog);
  w.Bool(F.AddScreenshot);
  w.Bool(F.ShowSmtpProgress);
  w.Bool(F.AppendToLog);
  w.U8(F.FirstDetailsPage);
  w.Bool(F.PaintedDialogs);
  w.Bool(F.WatchdogOn);
  w.I32(F.WatchdogSeconds);
  w.Str(F.WatchdogMessage);
  w.Str(F.SmtpSender);
  w.Str(F.SmtpServer);
  w.U16(F.SmtpServerPort);
  w.Str(F.SmtpUser);
  w.Str(F.SmtpLoginPassword);
  w.U8(F.ThirdButtonAction);
  w.Bool(F.ShowThirdButton);
  w.I32(F.LogCapacity);
  w.I32(F.ThirdButtonAfter);
  w.Str(F.MailRecipients);
  w.Str(F.MailSubject);
  w.U8(F.MailMode);
  w.U32(F.ReportItems);
  w.Str(F.LogLocation);
  int count = std::max(FFilterClasses.Count(), FFilterMessages.Count());
  w.I32(count);
  for (int i = 0; i < count; ++i) {
    w.Str(i < FFilterClasses.Count() ? FFilterClasses[i] : std::string());
    w.Str(i < FFilterMessages.Count() ? FFilterMessages[i] : std::string());
  }
  w.Str(F.MailBodyText);
  for (int i = 0; i < core::TextCount; ++i) w.Str(TextTable(static_cast<uint8_t>(i)));
}

void TVantorModuleOptions::SaveExtension(core::TStream& Stream) const {
  core::TMemoryStream records;
  Writer w(records);
  {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    std::string url = F.UploadUrl;
    if (url.size() > 0x7FFFFFFFu) throw EStreamError("String too long for the options stream");
    for (char& c : url) c = static_cast<char>(static_cast<uint8_t>(c) ^ core::OptionsStringMask);
    w.U16(core::xtUploadUrl);
    w.U32(static_cast<uint32_t>(url.size()));
    w.Bytes(url.data(), url.size());
    w.U16(core::xtAttachMinidump);
    w.U32(1);
    w.Bool(F.AttachMinidump);
    w.U16(core::xtSmtpSecurity);
    w.U32(1);
    w.U8(F.SmtpSecurity);
  }
  Writer out(Stream);
  out.U32(core::OptionsExtensionMagic);
  out.U32(static_cast<uint32_t>(records.Data().size()));
  out.Bytes(records.Data().data(), records.Data().size());
}

size_t TVantorModuleOptions::LoadExtension(const uint8_t* Data, size_t Size) {
  auto u32 = [](const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
  };
  if (!Data || Size < 4 || u32(Data) != core::OptionsExtensionMagic) return 0;
  if (Size < 8) Reader::Short("the extension length");
  const uint32_t length = u32(Data + 4);
  if (length > Size - 8) Reader::Short("the extension records");
  Fields f = Snapshot();
  const uint8_t* p = Data + 8;
  size_t left = length;
  while (left > 0) {
    if (left < 6) Reader::Short("an extension record header");
    const uint16_t tag = static_cast<uint16_t>(p[0] | (p[1] << 8));
    const uint32_t n = u32(p + 2);
    p += 6;
    left -= 6;
    if (n > left) Reader::Short("an extension record");
    switch (tag) {
      case core::xtUploadUrl:
        f.UploadUrl.assign(reinterpret_cast<const char*>(p), n);
        for (char& c : f.UploadUrl)
          c = static_cast<char>(static_cast<uint8_t>(c) ^ core::OptionsStringMask);
        break;
      case core::xtAttachMinidump:
        if (n != 1) Reader::Corrupt("the AttachMinidump record's length", n);
        f.AttachMinidump = p[0] != 0;
        break;
      case core::xtSmtpSecurity:
        if (n != 1) Reader::Corrupt("the SmtpSecurity record's length", n);
        f.SmtpSecurity = p[0];
        break;
      default:  // a later option: skipped
        break;
    }
    p += n;
    left -= n;
  }
  Updating([&] { Commit(f); });
  return 8 + static_cast<size_t>(length);
}

TVantorModuleOptions::Fields TVantorModuleOptions::Snapshot() const {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  Fields f = F;
  f.FilterClasses = FFilterClasses.Strings();
  f.FilterMessages = FFilterMessages.Strings();
  return f;
}

void TVantorModuleOptions::Commit(const Fields& f) {
  FFilterClasses.Assign(f.FilterClasses);
  FFilterMessages.Assign(f.FilterMessages);
  std::lock_guard<std::recursive_mutex> guard(FLock);
  F = f;
  F.FilterClasses.clear();
  F.FilterMessages.clear();
}

void TVantorModuleOptions::ReadFields(core::TStream& stream, uint16_t v, Fields& f) {
  Reader r(stream);
  f.ReservedFlag = r.Bool("ReservedFlag");
  f.FiltersOn = r.Bool("FiltersOn");
  f.HandlingFlags = r.U8("HandlingFlags");
  f.TellUser = r.Bool("TellUser");
  if (v < 450) f.TellUser = !f.TellUser;
  f.ReportInBody = r.Bool("ReportInBody");
  if (v >= 450) {
    f.SendWholeLog = r.Bool("SendWholeLog");
    f.AddScreenshot = r.Bool("AddScreenshot");
    f.ShowSmtpProgress = r.Bool("ShowSmtpProgress");
  }
  if (v >= 401) {
    f.AppendToLog = r.Bool("AppendToLog");
    f.FirstDetailsPage = r.U8("FirstDetailsPage");
  }
  if (v >= 403) f.PaintedDialogs = r.Bool("PaintedDialogs");
  if (v >= 420) {
    f.WatchdogOn = r.Bool("WatchdogOn");
    f.WatchdogSeconds = r.I32("WatchdogSeconds");
    if (v < 422) f.WatchdogSeconds /= 1000;  // older layouts kept milliseconds
    f.WatchdogMessage = r.Str("WatchdogMessage");
    if (v >= 450) f.SmtpSender = r.Str("SmtpSender");
    f.SmtpServer = r.Str("SmtpServer");
  }
  if (v >= 450) f.SmtpServerPort = r.U16("SmtpServerPort");
  if (v >= 421) {
    f.SmtpUser = r.Str("SmtpUser");
    f.SmtpLoginPassword = r.Str("SmtpLoginPassword");
    f.ThirdButtonAction = r.U8("ThirdButtonAction");
  }
  f.ShowThirdButton = r.Bool("ShowThirdButton");
  f.LogCapacity = r.I32("LogCapacity");
  f.ThirdButtonAfter = r.I32("ThirdButtonAfter");
  f.MailRecipients = r.Str("MailRecipients");
  f.MailSubject = r.Str("MailSubject");
  if (v >= 450) {
    f.MailMode = static_cast<TMailMode>(r.U8("MailMode"));
  } else {
    // Older layouts kept a send flag: the server decides between the two sending modes.
    bool send = r.U8("MailMode") != 0;
    f.MailMode = !send ? mmNone : f.SmtpServer.empty() ? mmMailClient : mmViaServer;
  }
  f.ReportItems = r.U32("ReportItems");
  if (v < 450) r.Skip(1, "a discarded byte");
  f.LogLocation = r.Str("LogLocation");
  f.FilterClasses.clear();
  f.FilterMessages.clear();
  int32_t count = r.I32("the filter count");
  if (count < 0) Reader::Corrupt("the filter count", count);
  // No reserve: each pair takes at least 8 bytes of the stream, so a corrupt count ends at the
  // stream's end rather than in one huge allocation.
  for (int32_t i = 0; i < count; ++i) {
    f.FilterClasses.push_back(r.Str("a filter class name"));
    f.FilterMessages.push_back(r.Str("a filter message"));
  }
  f.MailBodyText = r.Str("MailBodyText");
  for (int i = 0; i < core::TextCount; ++i) {
    if (!core::SkippedText(i, v)) f.TextTable[static_cast<size_t>(i)] = r.Str("a text");
  }
}

void TVantorModuleOptions::LoadFromStream(core::TStream& Stream, uint16_t Version) {
  Trace("TVantorModuleOptions.LoadFromStream", {FModuleName, Version});
  Updating([&] {
    Fields f = Snapshot();
    ReadFields(Stream, Version, f);
    Commit(f);
  });
}

std::string TVantorModuleOptions::OutputFile(const std::string& DefaultName) const {
  Trace("TVantorModuleOptions.OutputFile", {DefaultName}, 2);
  std::string result;
  const std::string location = LogLocation();
  if (core::Lower(core::ExtractFileExt(location)) == ".vlf") {
    result = location;
  } else {
    std::string folder = location.empty() ? core::ExtractFilePath(DefaultName) : location;
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    result = folder + core::ExtractFileName(DefaultName);
  }
  Trace("TVantorModuleOptions.OutputFile=", {result}, -2);
  return result;
}

std::string TVantorModuleOptions::OutputLogFile() const {
  Trace("TVantorModuleOptions.OutputLogFile", {}, 2);
  std::string result = OutputFile(core::ChangeFileExt(FModuleName, ".vlf"));
  Trace("TVantorModuleOptions.OutputLogFile=", {result}, -2);
  return result;
}

// ---- TVantorModuleOptionsEx ----

TVantorModuleOptionsEx::TVantorModuleOptionsEx(const std::string& ModuleName, bool AutoApply)
    : TVantorModuleOptions(ModuleName, AutoApply) {
  // The base constructor's change check could not reach this class's Changed yet.
  ChangeCheck();
}

void TVantorModuleOptionsEx::Changed() {
  auto publish = core::Seams().PublishModuleFile;
  if (!publish) return;
  try {
    core::TMemoryStream stream;
    uint8_t one = 1;
    stream.Write(&one, 1);
    SaveToStream(stream);
    SaveExtension(stream);
    publish(stream.Data());
  } catch (...) {
    // Publishing is a courtesy to the other modules; a failure must not break a setter.
    Trace("TVantorModuleOptionsEx.Changed: publishing failed");
  }
}

namespace {
bool IsCurrent(const TVantorModuleOptions* options) {
  auto test = core::Seams().IsCurrentOptions;
  return test && test(options);
}
void UpdateWatchdog(const TVantorModuleOptions& options) {
  auto& p = core::Seams();
  if (options.Active() && options.WatchdogOn()) {
    if (p.StartFreezeWatchdog) p.StartFreezeWatchdog();
  } else {
    if (p.StopFreezeWatchdog) p.StopFreezeWatchdog();
  }
}
}  // namespace

void TVantorModuleOptionsEx::SetActive(bool Value) {
  if (!IsCurrent(this)) return TVantorModuleOptions::SetActive(Value);
  if (Value == Active()) return;
  StoreActive(Value);
  UpdateWatchdog(*this);
}

void TVantorModuleOptionsEx::SetWatchdogOn(bool Value) {
  if (!IsCurrent(this)) return TVantorModuleOptions::SetWatchdogOn(Value);
  if (Value == WatchdogOn()) return;
  StoreWatchdogOn(Value);
  UpdateWatchdog(*this);
}

}  // namespace vl
