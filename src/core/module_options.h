// The options of one module: whether an error is shown, logged and mailed, how the dialogs look,
// the freeze watchdog, the SMTP account, the exception filters, the report items and the 71
// customizable texts. Every registered module carries one object; the pipeline copies the
// faulting module's options into the working options. The class also owns the options' binary
// stream format and the rule that names the log file.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/byte_stream.h"
#include "core/core_seams.h"
#include "core/module_texts.h"
#include "core/string_list.h"
#include "core/string_mask.h"
#include "runtime/exceptions.h"

namespace vl {

// HandlingFlags bits.
enum : uint8_t {
  hfSkipRepeats = 0x01,  // an error already in the log file is not logged or mailed again
  hfAskSteps = 0x02,     // ask the user for the steps that reproduce the error
};
using THandlingFlags = uint8_t;

enum TMailMode : uint8_t { mmNone = 0, mmMailClient = 1, mmViaServer = 2, mmDirect = 3 };

// ThirdButtonAction values.
enum TThirdButtonAction : uint8_t { tbTerminate = 0, tbRestart = 1 };

// SmtpSecurity values: plain SMTP, STARTTLS after the greeting, or TLS from the first byte.
// A value outside these is kept as read; the sending code must treat it as a failure and never
// fall back to sending in clear.
enum TSmtpSecurity : uint8_t { ssNone = 0, ssStartTls = 1, ssTls = 2 };

namespace core {
// Defaults chosen for this library.
extern const char* const DefaultSmtpSender;
extern const char* const DefaultWatchdogMessage;
// The 71 default texts as strings.
std::vector<std::string> DefaultTextTable();
}  // namespace core

namespace core {
// The data-block version whose options layout SaveToStream writes (and LoadFromStream reads by
// default).
constexpr uint16_t OptionsLayoutVersion = 454;

// The options that came after layout 454 travel in an extension that follows the block's debug
// information (and the published options stream), so a reader that stops where it always
// stopped never sees them:
//   magic (uint32)   N (uint32)   N bytes of records, each: tag (uint16), length L (uint32),
//   L bytes of value.
// Records of tags a reader does not know are skipped; bytes after the N bytes are ignored.
constexpr uint32_t OptionsExtensionMagic = 0x31584C56;  // "VLX1"
enum TOptionsExtensionTag : uint16_t {
  xtUploadUrl = 1,       // a masked string (the options stream's mask), L bytes
  xtAttachMinidump = 2,  // one byte, 0 = off
  xtSmtpSecurity = 3,    // one byte, a TSmtpSecurity
};
}  // namespace core

// A stream that ends too early or whose lengths or counts run past its bytes. The options are
// left as they were. Values are never refused: a boolean byte other than 0 reads as true, and
// the enumeration bytes (FirstDetailsPage, ThirdButtonAction, MailMode) keep any value, exactly
// as their setters and the post-build tool's INI accept it; code that uses one treats a value
// it does not know as the field's default (first page, restart, no mail).
class EVantorOptionsStreamError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

class TVantorModuleOptions {
 public:
  TVantorModuleOptions(const std::string& ModuleName, bool AutoApply);
  virtual ~TVantorModuleOptions();
  TVantorModuleOptions(const TVantorModuleOptions&) = delete;
  TVantorModuleOptions& operator=(const TVantorModuleOptions&) = delete;

  // ---- virtual operations ----
  // Change notification; the base class does nothing.
  virtual void Changed() {}
  virtual void SetActive(bool Value);
  virtual void SetWatchdogOn(bool Value);
  // Copies every streamed field, the filter lists and the texts (not Active, ModuleName,
  // AutoApply, UpdateCount). A null source raises EConvertError.
  virtual void Assign(const TVantorModuleOptions* Source);
  virtual void SetDefaults();
  virtual void SaveToStream(core::TStream& Stream) const;
  // Reads what SaveToStream writes, as written by data-block version Version. A short or
  // corrupt stream raises EVantorOptionsStreamError and changes nothing.
  virtual void LoadFromStream(core::TStream& Stream, uint16_t Version = core::OptionsLayoutVersion);
  // Writes the extension (magic, length, records) of the options outside the stream.
  void SaveExtension(core::TStream& Stream) const;
  // Reads an extension at Data (Size bytes exist) and returns the bytes it took. Bytes that do
  // not start with the magic are no extension: nothing changes, 0. A magic whose length or
  // records run past the bytes raises EVantorOptionsStreamError and changes nothing.
  size_t LoadExtension(const uint8_t* Data, size_t Size);

  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate() { --FUpdateCount; }

  // The log file for a module file DefaultName: LogLocation itself when it names a ".vlf"
  // file, else the file name of DefaultName in LogLocation (or in DefaultName's folder).
  std::string OutputFile(const std::string& DefaultName) const;
  // OutputFile of ModuleName with the extension ".vlf".
  std::string OutputLogFile() const;

  // ---- fields (stream order) ----
  // Text getters return copies taken under the object's lock, and every write of a field takes
  // it too: the watchdog and the dialogs read options on their own threads while the pipeline
  // assigns or loads them. The filter lists are not covered: only the thread that owns the
  // options object reads them.
  bool ReservedFlag() const { return F.ReservedFlag; }
  bool FiltersOn() const { return F.FiltersOn; }
  THandlingFlags HandlingFlags() const { return F.HandlingFlags; }
  bool TellUser() const { return F.TellUser; }
  bool ReportInBody() const { return F.ReportInBody; }
  bool SendWholeLog() const { return F.SendWholeLog; }
  bool AddScreenshot() const { return F.AddScreenshot; }
  bool ShowSmtpProgress() const { return F.ShowSmtpProgress; }
  bool AppendToLog() const { return F.AppendToLog; }
  uint8_t FirstDetailsPage() const { return F.FirstDetailsPage; }
  bool PaintedDialogs() const { return F.PaintedDialogs; }
  bool WatchdogOn() const { return F.WatchdogOn; }
  int32_t WatchdogSeconds() const { return F.WatchdogSeconds; }
  std::string WatchdogMessage() const { return Locked(F.WatchdogMessage); }
  std::string SmtpSender() const { return Locked(F.SmtpSender); }
  std::string SmtpServer() const { return Locked(F.SmtpServer); }
  uint16_t SmtpServerPort() const { return F.SmtpServerPort; }
  std::string SmtpUser() const { return Locked(F.SmtpUser); }
  std::string SmtpLoginPassword() const { return Locked(F.SmtpLoginPassword); }
  uint8_t ThirdButtonAction() const { return F.ThirdButtonAction; }
  bool ShowThirdButton() const { return F.ShowThirdButton; }
  int32_t LogCapacity() const { return F.LogCapacity; }
  int32_t ThirdButtonAfter() const { return F.ThirdButtonAfter; }
  std::string MailRecipients() const { return Locked(F.MailRecipients); }
  std::string MailSubject() const { return Locked(F.MailSubject); }
  TMailMode MailMode() const { return F.MailMode; }
  uint32_t ReportItems() const { return F.ReportItems; }
  bool ReportItem(core::TVantorReportItem item) const { return (F.ReportItems >> item) & 1u; }
  std::string LogLocation() const { return Locked(F.LogLocation); }
  // ---- fields of the extension ----
  // Where a report is uploaded as a crash-collection server's minidump upload (http:// or
  // https://); empty: no upload.
  std::string UploadUrl() const { return Locked(F.UploadUrl); }
  // A minidump is kept beside the log and attached to the mail.
  bool AttachMinidump() const { return F.AttachMinidump; }
  uint8_t SmtpSecurity() const { return F.SmtpSecurity; }
  // Exception class names and, in the same order, the message to show for each.
  core::TVantorStringList& FilterClasses() { return FFilterClasses; }
  const core::TVantorStringList& FilterClasses() const { return FFilterClasses; }
  core::TVantorStringList& FilterMessages() { return FFilterMessages; }
  const core::TVantorStringList& FilterMessages() const { return FFilterMessages; }
  std::string MailBodyText() const { return Locked(F.MailBodyText); }
  // The text at Index (0 to 70); empty for an index out of range.
  std::string TextTable(uint8_t Index) const;

  // ---- fields outside the stream ----
  bool Active() const { return FActive; }
  const std::string& ModuleName() const { return FModuleName; }
  // Names the module whose options these are (the working options follow the faulting module,
  // so OutputLogFile does too). No change check: nothing is published.
  void SetModuleName(const std::string& Value) { FModuleName = Value; }
  bool AutoApply() const { return FAutoApply; }
  int32_t UpdateCount() const { return FUpdateCount; }

  // ---- setters: store the value, then run the change check ----
  void SetReservedFlag(bool Value);
  void SetFiltersOn(bool Value);
  void SetHandlingFlags(THandlingFlags Value);
  void SetTellUser(bool Value);
  void SetReportInBody(bool Value);
  void SetSendWholeLog(bool Value);
  void SetAddScreenshot(bool Value);
  void SetShowSmtpProgress(bool Value);
  void SetAppendToLog(bool Value);
  void SetFirstDetailsPage(uint8_t Value);
  void SetPaintedDialogs(bool Value);
  void SetWatchdogSeconds(int32_t Value);
  void SetWatchdogMessage(const std::string& Value);
  void SetSmtpSender(const std::string& Value);
  void SetSmtpServer(const std::string& Value);
  void SetSmtpServerPort(uint16_t Value);
  void SetSmtpUser(const std::string& Value);
  void SetSmtpLoginPassword(const std::string& Value);
  void SetThirdButtonAction(uint8_t Value);
  void SetShowThirdButton(bool Value);
  // 0 is stored as 1.
  void SetLogCapacity(int32_t Value);
  void SetThirdButtonAfter(int32_t Value);
  void SetMailRecipients(const std::string& Value);
  void SetMailSubject(const std::string& Value);
  void SetMailMode(TMailMode Value);
  void SetReportItems(uint32_t Value);
  void SetLogLocation(const std::string& Value);
  void SetUploadUrl(const std::string& Value);
  void SetAttachMinidump(bool Value);
  void SetSmtpSecurity(uint8_t Value);
  void SetMailBodyText(const std::string& Value);
  // Index out of range: nothing.
  void SetTextTable(uint8_t Index, const std::string& Value);

 protected:
  // Calls Changed when no update is open, AutoApply is set and the options belong to the
  // module that contains the crash reporter.
  void ChangeCheck();
  // Stores Active / WatchdogOn and runs the change check (the base behaviour of the slots).
  void StoreActive(bool Value);
  void StoreWatchdogOn(bool Value);

 private:
  // Runs Body inside an update bracket; the change check runs once when the bracket closes,
  // also when Body raises.
  template <class Body>
  void Updating(Body&& body) {
    BeginUpdate();
    try {
      body();
    } catch (...) {
      EndUpdate();
      ChangeCheck();
      throw;
    }
    EndUpdate();
    ChangeCheck();
  }

  // The streamed fields, kept together so that a stream can be read into a copy and committed
  // at once.
  struct Fields {
    bool ReservedFlag = true;
    bool FiltersOn = true;
    THandlingFlags HandlingFlags = 0;
    bool TellUser = true;
    bool ReportInBody = false;
    bool SendWholeLog = false;
    bool AddScreenshot = false;
    bool ShowSmtpProgress = true;
    bool AppendToLog = true;
    uint8_t FirstDetailsPage = 0;
    bool PaintedDialogs = true;
    bool WatchdogOn = false;
    int32_t WatchdogSeconds = 60;
    std::string WatchdogMessage = core::DefaultWatchdogMessage;
    std::string SmtpSender = core::DefaultSmtpSender;
    std::string SmtpServer;
    uint16_t SmtpServerPort = 25;
    std::string SmtpUser;
    std::string SmtpLoginPassword;
    uint8_t ThirdButtonAction = tbRestart;
    bool ShowThirdButton = true;
    int32_t LogCapacity = 32;
    int32_t ThirdButtonAfter = 3;
    std::string MailRecipients;
    std::string MailSubject;
    TMailMode MailMode = mmNone;
    uint32_t ReportItems = 0xFFFFFFFFu;
    std::string LogLocation;
    std::vector<std::string> FilterClasses;
    std::vector<std::string> FilterMessages;
    std::string MailBodyText;
    std::vector<std::string> TextTable = core::DefaultTextTable();
    // The extension.
    std::string UploadUrl;
    bool AttachMinidump = false;
    uint8_t SmtpSecurity = ssNone;
  };
  Fields F;
  // Guards F (recursive: a change handler may read the options while a write holds it).
  mutable std::recursive_mutex FLock;
  std::string Locked(const std::string& field) const {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    return field;
  }
  // The streamed fields with the filter lists' contents.
  Fields Snapshot() const;
  void Commit(const Fields& f);
  static void ReadFields(core::TStream& stream, uint16_t version, Fields& f);
  core::TVantorStringList FFilterClasses;
  core::TVantorStringList FFilterMessages;

  bool FActive = true;
  std::string FModuleName;
  bool FAutoApply;
  int32_t FUpdateCount = 0;
};

// The class actually instantiated: publishes its changes for the other modules of the process
// and starts and stops the freeze watchdog with Active and WatchdogOn.
class TVantorModuleOptionsEx : public TVantorModuleOptions {
 public:
  TVantorModuleOptionsEx(const std::string& ModuleName, bool AutoApply);
  // Publishes the options: one byte 1 followed by SaveToStream and SaveExtension.
  void Changed() override;
  void SetActive(bool Value) override;
  void SetWatchdogOn(bool Value) override;
};

namespace core {

// Every string of the options stream is masked byte by byte with this value.
constexpr uint8_t OptionsStringMask = StringMask;

// The masked form of a stream string (a final CR LF of a string of 2 or more characters whose
// first CR LF is at its end is dropped).
std::string TrimFinalLineBreak(const std::string& s);

}  // namespace core

}  // namespace vl
