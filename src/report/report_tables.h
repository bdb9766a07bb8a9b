// The report's two tables (call stack, modules) and the cells of the detailed dialog's
// call-stack list. Both tables share one layout:
//
//   Title:
//   ---------------------------------
//   |Address |Module|Unit|...|Line|
//   ---------------------------------
//   |0040120A|a.exe |Main|...|12  |
//   ---------------------------------
//
// A column is as wide as its longest header or cell; cells are padded, and only a call-stack cell
// longer than MaxCallStackCell is cut (ending in "..."), so no row can swell the report. Addresses
// and handles have as many hexadecimal digits as a pointer of the reported program (8 or 16).
// Every cell is cleaned of characters below 32 so a row stays one line.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/module_options.h"

namespace vl::report {

// One resolved call-stack entry, as the stack walk and address lookup left it.
struct TStackEntryFacts {
  uint8_t Kind = 0;  // 0 no module, 1 module only, 2 export name, 3 decorated export, 4 debug info
  uint64_t Address = 0;
  std::string ModulePath;  // the module's file path (its name is shown); unused for kind 0
  uint8_t ModuleType = 0;  // 0 not determined, 1 executable, 2 package, 3 library
  std::string UnitName;
  std::string ClassName;
  std::string ProcedureName;
  int32_t LineNumber = 0;
  // Not a frame: the row standing for this many frames left out of the middle of a long stack.
  uint32_t OmittedRows = 0;
};

// A call stack listing more rows than this keeps its first and its last MaxCallStackRows / 2.
constexpr size_t MaxCallStackRows = 500;
// The longest call-stack cell shown whole.
constexpr size_t MaxCallStackCell = 256;

// When Entries list more than 2 * KeepEachEnd rows (kinds 2 to 4), keeps the entries up to the
// KeepEachEnd-th listed row and from the KeepEachEnd-th listed row before the end, with one
// OmittedRows entry between them counting the listed rows dropped. Shorter stacks stay as they
// are.
void CapCallStack(std::vector<TStackEntryFacts>& Entries, size_t KeepEachEnd);

// One module of the process.
struct TModuleFacts {
  uint64_t Handle = 0;  // load address
  std::string FilePath;
  std::string Description;  // from the version resource, empty when none
  std::string Version;      // "a.b.c.d", empty when none ("0.0.0.0" is shown empty too)
  int64_t FileSize = 0;
};

using TTableRow = std::array<std::string, 6>;

// The table layout above. FixedWidths[i] > 0 makes column i exactly that wide (its header is
// padded to it but never widens it); MinWidths[i] is a lower bound otherwise.
std::string FormatTable(const std::string& Title, const TTableRow& Headers,
                        const std::vector<TTableRow>& Rows, const std::array<size_t, 6>& MinWidths,
                        const std::array<size_t, 6>& FixedWidths);

// The six cells of an entry: address, module name (empty for kind 0), unit, class, procedure,
// line (empty for 0). Digits: hexadecimal digits of an address (8 or 16). The OmittedRows entry
// has only its procedure cell: "(N rows left out)".
TTableRow CallStackCells(const TStackEntryFacts& Entry, int Digits);

// The call-stack table: entries of kind 2 to 4 (and the OmittedRows entry) in list order, titled
// with the options' call-stack header text.
std::string FormatCallStackTable(const std::vector<TStackEntryFacts>& Entries,
                                 const TVantorModuleOptions& Options, int Digits);

// One row of the detailed dialog's call-stack list.
struct TCallStackRow {
  TTableRow Cells;
  int Icon = 0;  // 0 "DLL", 1 "BPL", 2 "VCL", 3 "PAS"
};
// Whether the dialog lists the entry (kinds 2 to 4, except kind 3 inside the executable, and the
// OmittedRows entry).
bool CallStackRowShown(const TStackEntryFacts& Entry);
// The cells (unpadded) and icon of an entry.
TCallStackRow CallStackRowCells(const TStackEntryFacts& Entry, int Digits);
// The rows of the listed entries, in list order.
std::vector<TCallStackRow> CallStackRows(const std::vector<TStackEntryFacts>& Entries, int Digits);

// The modules table, one row per module in list order. The handle column is exactly Digits wide.
std::string FormatModulesTable(const std::vector<TModuleFacts>& Modules,
                               const TVantorModuleOptions& Options, int Digits);

}  // namespace vl::report
