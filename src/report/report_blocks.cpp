#include "report/report_blocks.h"

#include "core/module_texts.h"
#include "report/log_item.h"
#include "report/report_text_rules.h"

namespace vl::report {

const char* const ProductLine = "VantorLog 4.5.4";

std::string ExceptionTypeText(const TReportFacts& Facts) {
  if (!Facts.ExplicitType.empty()) return Facts.ExplicitType;
  if (!Facts.ObjectClassName.empty()) return Facts.ObjectClassName;
  return "Unknown exception type.";
}

std::string ExceptionMessageText(const TReportFacts& Facts) {
  std::string message;
  if (!Facts.ExplicitMessage.empty()) {
    message = Facts.ExplicitMessage;
  } else if (Facts.ObjectHasMessage) {
    message = Facts.ObjectMessage;
  } else {
    message = "Unknown error message.";
  }
  if (!message.empty() && message.back() != '.') message += '.';
  return message;
}

static int Digits(const TReportFacts& Facts) { return Facts.Cpu.PointerSize == 8 ? 16 : 8; }

std::string BuildGeneralBlock(const TReportFacts& Facts, const TVantorModuleOptions& Options) {
  using namespace core;
  auto text = [&Options](TVantorTextIndex index) { return Options.TextTable(index); };
  auto bit = [&Options](TVantorReportItem item) { return Options.ReportItem(item); };
  const bool windowed = !Facts.WebOrConsole;

  TLogItem log;
  log.AddHeader(text(txLogApplicationHeader));
  log.AddItem(text(txLogStartDate), Facts.StartDate, bit(riAppStartDate));
  log.AddItem(text(txLogNameDescription), Facts.AppName, bit(riAppName));
  log.AddItem(text(txLogVersionNumber), Facts.AppVersion, bit(riAppVersionNumber));
  log.AddItem(text(txLogParameters), Facts.Parameters, bit(riAppParameters));

  log.AddHeader(text(txLogExceptionHeader));
  log.AddItem(text(txLogDate), Facts.ExceptionDate, bit(riExceptDate));
  log.AddItem(
      text(txLogAddress),
      Facts.ExceptionAddress == 0 ? std::string() : HexText(Facts.ExceptionAddress, Digits(Facts)),
      bit(riExceptAddress));
  log.AddItem(text(txLogModule), Facts.ExceptionModule, bit(riExceptModule));
  log.AddItem(text(txLogType), ExceptionTypeText(Facts), bit(riExceptType));
  log.AddItem(text(txLogMessage), ExceptionMessageText(Facts), bit(riExceptMessage));

  log.AddHeader(text(txLogActiveControlsHeader));
  log.AddItem(text(txLogFormClass), Facts.FormClass, windowed && bit(riActiveFormClass));
  log.AddItem(text(txLogFormText), Facts.FormText, windowed && bit(riActiveFormText));
  log.AddItem(text(txLogControlClass), Facts.ControlClass, windowed && bit(riActiveControlClass));
  log.AddItem(text(txLogControlText), Facts.ControlText, windowed && bit(riActiveControlText));

  log.AddHeader(text(txLogComputerHeader));
  log.AddItem(text(txLogName), Facts.ComputerName, bit(riComputerName));
  log.AddItem(text(txLogUser), Facts.UserName, bit(riComputerUser));
  log.AddItem(text(txLogTotalMemory), Facts.TotalMemory, bit(riComputerTotalMemory));
  log.AddItem(text(txLogFreeMemory), Facts.FreeMemory, bit(riComputerFreeMemory));
  log.AddItem(text(txLogTotalDisk), Facts.TotalDisk, bit(riComputerTotalDisk));
  log.AddItem(text(txLogFreeDisk), Facts.FreeDisk, bit(riComputerFreeDisk));

  log.AddHeader(text(txLogOperatingSystemHeader));
  log.AddItem(text(txLogOsType), Facts.OsName, bit(riOSType));
  log.AddItem(text(txLogBuildNumber), Facts.OsBuild, bit(riOSBuildNumber));
  log.AddItem(text(txLogUpdate), Facts.OsUpdate, bit(riOSUpdate));
  log.AddItem(text(txLogLanguage), Facts.OsLanguage, bit(riOSLanguage));

  return std::string(ProductLine) + "\r\n\r\n" + log.GetText();
}

std::string AssembleReport(const TReportBlocks& Blocks) {
  return Blocks.General + "\r\n" + Blocks.StackAndModules + "\r\n\r\n" + Blocks.Cpu;
}

static void SetExceptionValues(TReportBlocks& Blocks, const TReportFacts& Facts) {
  Blocks.ErrorMessage = ExceptionMessageText(Facts);
  Blocks.Duplicate.Address =
      Facts.ExceptionAddress == 0 ? std::string() : HexText(Facts.ExceptionAddress, Digits(Facts));
  Blocks.Duplicate.Module = CleanControlChars(Facts.ExceptionModule);
  Blocks.Duplicate.Type = CleanControlChars(ExceptionTypeText(Facts));
  Blocks.Duplicate.Message = CleanControlChars(Blocks.ErrorMessage);
}

TReportBlocks BuildReportBlocks(const TReportFacts& Facts, const TVantorModuleOptions& Options) {
  TReportBlocks blocks;
  blocks.HeaderLine = Options.TextTable(core::txDialogErrorMessage) + "\r\n\r\n";
  blocks.General = BuildGeneralBlock(Facts, Options);
  blocks.StackAndModules = FormatCallStackTable(Facts.Stack, Options, Digits(Facts)) + "\r\n\r\n" +
                           FormatModulesTable(Facts.Modules, Options, Digits(Facts));
  blocks.Cpu = FormatCpuBlock(Facts.Cpu, Options);
  blocks.Full = AssembleReport(blocks);
  blocks.SendText = blocks.Full;
  SetExceptionValues(blocks, Facts);
  return blocks;
}

TReportBlocks BuildBoundedReportBlocks(TReportFacts& Facts, const TVantorModuleOptions& Options) {
  const std::vector<TStackEntryFacts> whole = std::move(Facts.Stack);
  for (size_t keep = MaxCallStackRows / 2;; keep /= 2) {
    Facts.Stack = whole;
    CapCallStack(Facts.Stack, keep);
    TReportBlocks blocks = BuildReportBlocks(Facts, Options);
    if (blocks.Full.size() <= MaxReportBytes || keep == 0) return blocks;
  }
}

void RebuildGeneralBlock(TReportBlocks& Blocks, const TReportFacts& Facts,
                         const TVantorModuleOptions& Options) {
  Blocks.General = BuildGeneralBlock(Facts, Options);
  Blocks.Full = AssembleReport(Blocks);
  Blocks.SendText = Blocks.Full;
  SetExceptionValues(Blocks, Facts);
}

std::string WithReproductionBlock(const std::string& Report, const std::string& Caption,
                                  const std::string& ReproductionText) {
  return Report + "\r\n" + CleanControlChars(Caption) + ":\r\n" + std::string(40, '-') + "\r\n" +
         ShrinkLineBreaks(ReproductionText);
}

}  // namespace vl::report
