// The bug report assembled from facts already gathered (the Windows side fills TReportFacts from
// its system queries, the stack walk and the module list; the tests fill it by hand).
//
// Full report = general block + "\r\n" + stack-and-modules block + "\r\n\r\n" + CPU block. The
// general block is the product line, an empty line and the five sections of TLogItem; the
// stack-and-modules block the call-stack table, an empty line and the modules table.
#pragma once

#include <string>
#include <vector>

#include "core/module_options.h"
#include "report/cpu_block.h"
#include "report/report_tables.h"

namespace vl::report {

// The product line that starts every report and every log entry.
extern const char* const ProductLine;  // "VantorLog 4.5.4"

struct TReportFacts {
  // Application.
  std::string StartDate;  // FormatReportDate of the start time
  std::string AppName;    // file description, else the executable's file name
  std::string AppVersion;
  std::string Parameters;  // each parameter in double quotes, one blank between
  // Exception.
  std::string ExceptionDate;
  uint64_t ExceptionAddress = 0;
  std::string ExceptionModule;    // file name of the module holding the address
  std::string ExplicitType;       // type name handed over with the exception, may be empty
  std::string ObjectClassName;    // class of the exception object, empty when there is none
  std::string ExplicitMessage;    // message handed over with the exception, may be empty
  bool ObjectHasMessage = false;  // the object derives from the framework's base exception
  std::string ObjectMessage;
  // Active controls.
  std::string FormClass;
  std::string FormText;
  std::string ControlClass;
  std::string ControlText;
  // Computer.
  std::string ComputerName;
  std::string UserName;
  std::string TotalMemory;
  std::string FreeMemory;
  std::string TotalDisk;
  std::string FreeDisk;
  // Operating system.
  std::string OsName;
  std::string OsBuild;
  std::string OsUpdate;
  std::string OsLanguage;
  // Web-server hosts and console programs have no windows worth reporting: the active-controls
  // section stays hidden for them.
  bool WebOrConsole = false;

  std::vector<TStackEntryFacts> Stack;  // innermost call first
  std::vector<TModuleFacts> Modules;
  TCpuFacts Cpu;  // its PointerSize sets the width of every address in the report
};

// The exception type shown: the explicit name, else the object's class, else
// "Unknown exception type.".
std::string ExceptionTypeText(const TReportFacts& Facts);
// The exception message (not yet cleaned of control characters; the dialog's compact view shows
// it so): the explicit message, else the object's, else "Unknown error message."; a final "." is
// added when missing.
std::string ExceptionMessageText(const TReportFacts& Facts);

// The values of items 2.2 to 2.5 exactly as the report shows them; the log's duplicate test
// looks for an earlier entry with all four.
struct TDuplicateValues {
  std::string Address;
  std::string Module;
  std::string Type;
  std::string Message;
  std::vector<std::string> Keys() const { return {"2.2", "2.3", "2.4", "2.5"}; }
  std::vector<std::string> Values() const { return {Address, Module, Type, Message}; }
};

struct TReportBlocks {
  std::string General;
  std::string StackAndModules;
  std::string Cpu;
  std::string Full;        // the three blocks joined
  std::string SendText;    // starts as a copy of Full
  std::string HeaderLine;  // "Exception Dialog/Error message" + "\r\n\r\n"
  std::string ErrorMessage;
  TDuplicateValues Duplicate;
};

// The general block alone.
std::string BuildGeneralBlock(const TReportFacts& Facts, const TVantorModuleOptions& Options);
// Every block, the header line, the send text and the duplicate values.
TReportBlocks BuildReportBlocks(const TReportFacts& Facts, const TVantorModuleOptions& Options);
// The most a report may hold before its call stack is shortened further.
constexpr size_t MaxReportBytes = 256 * 1024;
// BuildReportBlocks after capping Facts.Stack (CapCallStack, MaxCallStackRows): while the full
// report is over MaxReportBytes, fewer rows are kept at each end. Facts keeps the stack that the
// report shows, for the dialog's list.
TReportBlocks BuildBoundedReportBlocks(TReportFacts& Facts, const TVantorModuleOptions& Options);
// After the exception's type or message changed: the general block again, the full report (and
// send text) reassembled with the stored stack-and-modules and CPU blocks.
void RebuildGeneralBlock(TReportBlocks& Blocks, const TReportFacts& Facts,
                         const TVantorModuleOptions& Options);
// General + "\r\n" + StackAndModules + "\r\n\r\n" + Cpu.
std::string AssembleReport(const TReportBlocks& Blocks);

// Report + "\r\n" + Caption + ":\r\n" + 40 "-" + "\r\n" + ReproductionText, with runs of three or
// more line breaks in the text shrunk to one empty line (so the report stays one log entry).
// Callers extend the unextended report each time, so a retried step never adds the block twice.
std::string WithReproductionBlock(const std::string& Report, const std::string& Caption,
                                  const std::string& ReproductionText);

}  // namespace vl::report
