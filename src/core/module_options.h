// The options of one module: whether an error is shown, logged and mailed, how the dialogs look,
// the freeze watchdog, the SMTP account, the exception filters, the report items and the 71
// customizable texts. Every registered module carries one object; the pipeline copies the
// faulting module's options into the working options. The class also owns the options' binary
// stream format and the rule that names the log file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/byte_stream.h"
#include "core/module_texts.h"
#include "core/string_list.h"
#include "runtime/exceptions.h"

// HandlingFlags bits.
enum : uint8_t {
  hfSkipRepeats = 0x01,  // an error already in the log file is not logged or mailed again
  hfAskSteps = 0x02,     // ask the user for the steps that reproduce the error
};
using THandlingFlags = uint8_t;

enum TMailMode : uint8_t { mmNone = 0, mmMailClient = 1, mmViaServer = 2, mmDirect = 3 };

// ThirdButtonAction values.
enum TThirdButtonAction : uint8_t { tbTerminate = 0, tbRestart = 1 };

// The version of the data block layout this library writes.
constexpr uint16_t VantorLogDataVersion = 454;

// A stream that ends too early or holds impossible values. The options are left as they were.
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
  virtual void LoadFromStream(core::TStream& Stream, uint16_t Version = VantorLogDataVersion);

  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate() { --FUpdateCount; }

  // The log file for a module file DefaultName: LogLocation itself when it names a ".vlf"
  // file, else the file name of DefaultName in LogLocation (or in DefaultName's folder).
  std::string OutputFile(const std::string& DefaultName) const;
  // OutputFile of ModuleName with the extension ".vlf".
  std::string OutputLogFile() const;

  // ---- fields (stream order) ----
  bool ReservedFlag() const { return FReservedFlag; }
  bool FiltersOn() const { return FFiltersOn; }
  THandlingFlags HandlingFlags() const { return FHandlingFlags; }
  bool TellUser() const { return FTellUser; }
  bool ReportInBody() const { return FReportInBody; }
  bool SendWholeLog() const { return FSendWholeLog; }
  bool AddScreenshot() const { return FAddScreenshot; }
  bool ShowSmtpProgress() const { return FShowSmtpProgress; }
  bool AppendToLog() const { return FAppendToLog; }
  uint8_t FirstDetailsPage() const { return FFirstDetailsPage; }
  bool PaintedDialogs() const { return FPaintedDialogs; }
  bool WatchdogOn() const { return FWatchdogOn; }
  int32_t WatchdogSeconds() const { return FWatchdogSeconds; }
  const std::string& WatchdogMessage() const { return FWatchdogMessage; }
  const std::string& SmtpSender() const { return FSmtpSender; }
  const std::string& SmtpServer() const { return FSmtpServer; }
  uint16_t SmtpServerPort() const { return FSmtpServerPort; }
  const std::string& SmtpUser() const { return FSmtpUser; }
  const std::string& SmtpLoginPassword() const { return FSmtpLoginPassword; }
  uint8_t ThirdButtonAction() const { return FThirdButtonAction; }
  bool ShowThirdButton() const { return FShowThirdButton; }
  int32_t LogCapacity() const { return FLogCapacity; }
  int32_t ThirdButtonAfter() const { return FThirdButtonAfter; }
  const std::string& MailRecipients() const { return FMailRecipients; }
  const std::string& MailSubject() const { return FMailSubject; }
  TMailMode MailMode() const { return FMailMode; }
  uint32_t ReportItems() const { return FReportItems; }
  bool ReportItem(core::TVantorReportItem item) const { return (FReportItems >> item) & 1u; }
  const std::string& LogLocation() const { return FLogLocation; }
  // Exception class names and, in the same order, the message to show for each.
  core::TVantorStringList& FilterClasses() { return FFilterClasses; }
  const core::TVantorStringList& FilterClasses() const { return FFilterClasses; }
  core::TVantorStringList& FilterMessages() { return FFilterMessages; }
  const core::TVantorStringList& FilterMessages() const { return FFilterMessages; }
  const std::string& MailBodyText() const { return FMailBodyText; }
  // The text at Index (0 to 70); empty for an index out of range.
  const std::string& TextTable(uint8_t Index) const;

  // ---- fields outside the stream ----
  bool Active() const { return FActive; }
  const std::string& ModuleName() const { return FModuleName; }
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
  struct Fields;
  Fields Snapshot() const;
  void Restore(const Fields& f);
  static void ReadFields(core::TStream& stream, uint16_t version, Fields& f);

  bool FReservedFlag = true;
  bool FFiltersOn = true;
  THandlingFlags FHandlingFlags = 0;
  bool FTellUser = true;
  bool FReportInBody = false;
  bool FSendWholeLog = false;
  bool FAddScreenshot = false;
  bool FShowSmtpProgress = true;
  bool FAppendToLog = true;
  uint8_t FFirstDetailsPage = 0;
  bool FPaintedDialogs = true;
  bool FWatchdogOn = false;
  int32_t FWatchdogSeconds = 60;
  std::string FWatchdogMessage;
  std::string FSmtpSender;
  std::string FSmtpServer;
  uint16_t FSmtpServerPort = 25;
  std::string FSmtpUser;
  std::string FSmtpLoginPassword;
  uint8_t FThirdButtonAction = tbRestart;
  bool FShowThirdButton = true;
  int32_t FLogCapacity = 32;
  int32_t FThirdButtonAfter = 3;
  std::string FMailRecipients;
  std::string FMailSubject;
  TMailMode FMailMode = mmNone;
  uint32_t FReportItems = 0xFFFFFFFFu;
  std::string FLogLocation;
  core::TVantorStringList FFilterClasses;
  core::TVantorStringList FFilterMessages;
  std::string FMailBodyText;
  std::vector<std::string> FTextTable;

  bool FActive = true;
  std::string FModuleName;
  bool FAutoApply;
  int32_t FUpdateCount = 0;
};

// The class actually instantiated: publishes its changes for the other modules of the process
// and starts and stops the freeze watchdog with Active and WatchdogOn.
class TVantorModuleOptionsEx : public TVantorModuleOptions {
 public:
  using TVantorModuleOptions::TVantorModuleOptions;
  // Publishes the options: one byte 1 followed by SaveToStream.
  void Changed() override;
  void SetActive(bool Value) override;
  void SetWatchdogOn(bool Value) override;
};

namespace core {

// Defaults chosen for this library.
extern const char* const DefaultSmtpSender;
extern const char* const DefaultWatchdogMessage;
// Every string of the options stream is masked byte by byte with this value.
constexpr uint8_t OptionsStringMask = 0x5A;

// What the options need from the rest of the crash reporter. Filled at start-up; a null entry
// means "not available".
struct ModuleOptionsPlatform {
  // True when ModuleName names the module that contains the crash reporter (the module handle
  // the system gives for the name equals our own). Null: false, so Changed is never called.
  bool (*IsCrashReporterModule)(const std::string& moduleName) = nullptr;
  // SEAM (virtual files): replaces this module's "MODULE" virtual file with Data. Null: the
  // options are not published.
  void (*PublishModuleFile)(const std::vector<uint8_t>& data) = nullptr;
  // SEAM (pipeline): true when Options is the running module's options
  // (CurrentVantorLogOptions). Null: false, so the watchdog is never touched.
  bool (*IsCurrentOptions)(const TVantorModuleOptions* options) = nullptr;
  // SEAM (freeze detection): start / stop the freeze watchdog. Null: nothing.
  void (*StartFreezeWatchdog)() = nullptr;
  void (*StopFreezeWatchdog)() = nullptr;
};
ModuleOptionsPlatform& OptionsPlatform();

// The masked form of a stream string (a final CR LF of a string of 2 or more characters whose
// first CR LF is at its end is dropped).
std::string TrimFinalLineBreak(const std::string& s);

}  // namespace core
