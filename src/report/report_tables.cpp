#include "report/report_tables.h"

#include <algorithm>

#include "core/module_texts.h"
#include "report/report_text_rules.h"

namespace vl::report {

std::string FormatTable(const std::string& Title, const TTableRow& Headers,
                        const std::vector<TTableRow>& Rows, const std::array<size_t, 6>& MinWidths,
                        const std::array<size_t, 6>& FixedWidths) {
  std::array<size_t, 6> widths{};
  for (size_t c = 0; c < 6; ++c) {
    if (FixedWidths[c] > 0) {
      widths[c] = FixedWidths[c];
      continue;
    }
    widths[c] = std::max(MinWidths[c], Headers[c].size());
    for (const TTableRow& row : Rows) widths[c] = std::max(widths[c], row[c].size());
  }
  size_t total = 7;
  for (size_t w : widths) total += w;
  const std::string separator(total, '-');

  auto rowText = [&widths](const TTableRow& row) {
    std::string line = "|";
    for (size_t c = 0; c < 6; ++c) {
      line += row[c];
      if (row[c].size() < widths[c]) line.append(widths[c] - row[c].size(), ' ');
      line += '|';
    }
    return line;
  };

  std::string out = Title + ":\r\n" + separator + "\r\n" + rowText(Headers) + "\r\n" + separator;
  for (const TTableRow& row : Rows) out += "\r\n" + rowText(row);
  out += "\r\n" + separator;
  return out;
}

namespace {

bool Listed(const TStackEntryFacts& Entry) {
  return Entry.OmittedRows != 0 || (Entry.Kind >= 2 && Entry.Kind <= 4);
}

std::string Cell(const std::string& Text) {
  std::string cell = CleanControlChars(Text);
  if (cell.size() > MaxCallStackCell) cell.replace(MaxCallStackCell - 3, std::string::npos, "...");
  return cell;
}

}  // namespace

void CapCallStack(std::vector<TStackEntryFacts>& Entries, size_t KeepEachEnd) {
  size_t listed = 0;
  for (const TStackEntryFacts& entry : Entries) listed += Listed(entry) ? 1 : 0;
  if (listed <= 2 * KeepEachEnd) return;
  std::vector<TStackEntryFacts> kept;
  kept.reserve(2 * KeepEachEnd + 1);
  size_t row = 0;
  for (TStackEntryFacts& entry : Entries) {
    const bool isListed = Listed(entry);
    if (isListed && row == KeepEachEnd) {
      TStackEntryFacts gap;
      gap.OmittedRows = static_cast<uint32_t>(listed - 2 * KeepEachEnd);
      kept.push_back(std::move(gap));
    }
    const bool inGap = row >= KeepEachEnd && row < listed - KeepEachEnd;
    if (!inGap) kept.push_back(std::move(entry));
    row += isListed ? 1 : 0;
  }
  Entries = std::move(kept);
}

TTableRow CallStackCells(const TStackEntryFacts& Entry, int Digits) {
  TTableRow cells;
  if (Entry.OmittedRows != 0) {
    cells[4] = "(" + std::to_string(Entry.OmittedRows) +
               (Entry.OmittedRows == 1 ? " row left out)" : " rows left out)");
    return cells;
  }
  cells[0] = HexText(Entry.Address, Digits);
  cells[1] = Entry.Kind == 0 ? std::string() : Cell(FileNameOf(Entry.ModulePath));
  cells[2] = Cell(Entry.UnitName);
  cells[3] = Cell(Entry.ClassName);
  cells[4] = Cell(Entry.ProcedureName);
  cells[5] = Entry.LineNumber == 0 ? std::string() : std::to_string(Entry.LineNumber);
  return cells;
}

static TTableRow Texts(const TVantorModuleOptions& Options, int first) {
  TTableRow row;
  for (int c = 0; c < 6; ++c) {
    row[static_cast<size_t>(c)] =
        CleanControlChars(Options.TextTable(static_cast<uint8_t>(first + c)));
  }
  return row;
}

std::string FormatCallStackTable(const std::vector<TStackEntryFacts>& Entries,
                                 const TVantorModuleOptions& Options, int Digits) {
  std::vector<TTableRow> rows;
  for (const TStackEntryFacts& entry : Entries) {
    if (Listed(entry)) rows.push_back(CallStackCells(entry, Digits));
  }
  return FormatTable(CleanControlChars(Options.TextTable(core::txDialogCallStackHeader)),
                     Texts(Options, core::txStackAddress), rows,
                     {static_cast<size_t>(Digits), 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0});
}

bool CallStackRowShown(const TStackEntryFacts& Entry) {
  if (Entry.OmittedRows != 0) return true;
  if (Entry.Kind < 2 || Entry.Kind > 4) return false;
  return !(Entry.Kind == 3 && Entry.ModuleType == 1);
}

TCallStackRow CallStackRowCells(const TStackEntryFacts& Entry, int Digits) {
  TCallStackRow row;
  row.Cells = CallStackCells(Entry, Digits);
  if (Entry.Kind == 4 || Entry.OmittedRows != 0) {
    row.Icon = 3;
  } else {
    switch (Entry.ModuleType) {
      case 1:
        row.Icon = 2;
        break;
      case 2:
        row.Icon = 1;
        break;
      case 0:
      case 3:
        row.Icon = 0;
        break;
      default:
        row.Icon = 3;
        break;
    }
  }
  return row;
}

std::vector<TCallStackRow> CallStackRows(const std::vector<TStackEntryFacts>& Entries, int Digits) {
  std::vector<TCallStackRow> rows;
  for (const TStackEntryFacts& entry : Entries) {
    if (CallStackRowShown(entry)) rows.push_back(CallStackRowCells(entry, Digits));
  }
  return rows;
}

std::string FormatModulesTable(const std::vector<TModuleFacts>& Modules,
                               const TVantorModuleOptions& Options, int Digits) {
  std::vector<TTableRow> rows;
  for (const TModuleFacts& module : Modules) {
    TTableRow row;
    row[0] = HexText(module.Handle, Digits);
    row[1] = CleanControlChars(FileNameOf(module.FilePath));
    row[2] = CleanControlChars(module.Description);
    row[3] = module.Version == "0.0.0.0" ? std::string() : CleanControlChars(module.Version);
    row[4] = std::to_string(module.FileSize);
    row[5] = CleanControlChars(FolderOf(module.FilePath));
    rows.push_back(row);
  }
  return FormatTable(CleanControlChars(Options.TextTable(core::txDialogModulesListHeader)),
                     Texts(Options, core::txModulesHandle), rows, {0, 0, 0, 0, 0, 0},
                     {static_cast<size_t>(Digits), 0, 0, 0, 0, 0});
}

}  // namespace vl::report
