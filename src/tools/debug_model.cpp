#include "tools/debug_model.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

namespace vl::tools {

namespace {

// The RVA range of [Begin, End) when it starts inside a code section; cut at that section's end.
bool ToRva(const PeImage& image, uint64_t begin, uint64_t end, RvaRange& out) {
  const uint64_t base = image.ImageBase();
  if (begin < base || end <= begin) return false;
  const PeSection* section = image.CodeSectionAt(begin - base);
  if (!section) return false;
  uint64_t sectionEnd = uint64_t{section->VirtualAddress} +
                        (section->VirtualSize != 0 ? section->VirtualSize : section->RawSize);
  out.Begin = static_cast<uint32_t>(begin - base);
  out.End = static_cast<uint32_t>(std::min(end - base, sectionEnd));
  return out.End > out.Begin;
}

struct Span {
  RvaRange Range;
  size_t File;  // index into the model's list of paths
  uint32_t Line;
};

std::string Join(const std::vector<std::string>& parts, size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    if (i) text += '.';
    text += parts[i];
  }
  return text;
}

void AddUnits(const PeImage& image, const DwarfSections& sections, const DwarfInfo& info,
              DebugModel& model) {
  std::vector<std::string> paths;
  std::map<std::string, size_t> pathIds;
  std::vector<Span> spans;
  std::set<uint64_t> tablesRead;
  for (const DwarfUnit& unit : info.Units) {
    if (!unit.HasLineTable || !tablesRead.insert(unit.LineOffset).second) continue;
    LineTable table = ReadLineTable(sections, unit.LineOffset, unit.CompDir, unit.AddressSize);
    std::vector<size_t> fileIds;
    for (const std::string& path : table.Files) {
      auto [it, added] = pathIds.emplace(path, paths.size());
      if (added) paths.push_back(path);
      fileIds.push_back(it->second);
    }
    // Each row covers the addresses up to the next row of its sequence; rows at the same
    // address cover nothing, and the last of them governs that address.
    for (size_t i = 0; i + 1 < table.Rows.size(); ++i) {
      const LineRow& row = table.Rows[i];
      const LineRow& next = table.Rows[i + 1];
      if (row.EndSequence || row.File == LineRow::kNoFile) continue;
      Span span;
      if (!ToRva(image, row.Address, next.Address, span.Range)) continue;
      span.File = fileIds[row.File];
      span.Line = row.Line;
      spans.push_back(span);
    }
  }
  // Two sequences that claim the same code (duplicated inline code the linker folded) must
  // not give overlapping units: the first claim wins.
  std::stable_sort(spans.begin(), spans.end(),
                   [](const Span& a, const Span& b) { return a.Range.Begin < b.Range.Begin; });
  std::vector<size_t> unitOf(paths.size(), SIZE_MAX);
  uint32_t covered = 0;
  for (Span& span : spans) {
    if (span.Range.Begin < covered) span.Range.Begin = covered;
    if (span.Range.End <= span.Range.Begin) continue;
    covered = span.Range.End;
    size_t& index = unitOf[span.File];
    if (index == SIZE_MAX) {
      index = model.Units.size();
      SourceUnit unit;
      unit.Path = paths[span.File];
      unit.Name = BaseName(unit.Path);
      model.Units.push_back(std::move(unit));
    }
    SourceUnit& unit = model.Units[index];
    bool contiguous = !unit.Ranges.empty() && unit.Ranges.back().End == span.Range.Begin;
    if (contiguous) {
      unit.Ranges.back().End = span.Range.End;
    } else {
      unit.Ranges.push_back(span.Range);
    }
    if (!contiguous || unit.Lines.back().Line != span.Line) {
      unit.Lines.push_back({span.Range.Begin, span.Line});
    }
  }
  std::sort(model.Units.begin(), model.Units.end(), [](const SourceUnit& a, const SourceUnit& b) {
    return a.Ranges.front().Begin < b.Ranges.front().Begin;
  });
}

void AddFunctions(const PeImage& image, const DwarfInfo& info, DebugModel& model) {
  std::set<std::tuple<uint32_t, uint32_t, std::string>> seen;
  std::set<std::pair<std::string, uint32_t>> named;
  for (const DwarfFunction& function : info.Functions) {
    std::string procedure = function.Name.empty() ? function.LinkageName : function.Name;
    if (procedure.empty()) continue;
    std::vector<std::string> parts = function.Scopes;
    parts.push_back(procedure);
    std::string qualified = Join(parts, parts.size());
    std::string className = Join(parts, parts.size() - 1);
    bool entry = true;
    for (const AddressRange& range : function.Ranges) {
      RvaRange rva;
      bool inCode = ToRva(image, range.Begin, range.End, rva);
      if (inCode && seen.emplace(rva.Begin, rva.End, qualified).second) {
        model.Functions.push_back(
            FunctionInfo{rva.Begin, rva.End - rva.Begin, className, procedure, qualified});
      }
      if (inCode && entry && named.emplace(qualified, rva.Begin).second) {
        model.NameIndex.push_back(NameIndexEntry{qualified, rva.Begin});
      }
      entry = false;
    }
  }
  std::sort(model.Functions.begin(), model.Functions.end(),
            [](const FunctionInfo& a, const FunctionInfo& b) {
              return std::tie(a.Address, a.Size, a.QualifiedName) <
                     std::tie(b.Address, b.Size, b.QualifiedName);
            });
  std::sort(model.NameIndex.begin(), model.NameIndex.end(),
            [](const NameIndexEntry& a, const NameIndexEntry& b) {
              return std::tie(a.QualifiedName, a.Address) < std::tie(b.QualifiedName, b.Address);
            });
}

}  // namespace

DebugModel BuildDebugModel(const PeImage& image) {
  DebugModel model;
  model.Is64 = image.Is64();
  model.ImageBase = image.ImageBase();
  DwarfSections sections = DwarfSections::FromPe(image);
  if (sections.Info.Empty()) return model;
  DwarfInfo info = ReadDwarfInfo(sections);
  AddUnits(image, sections, info, model);
  AddFunctions(image, info, model);
  return model;
}

SourceLocation Locate(const DebugModel& model, uint32_t rva) {
  SourceLocation location;
  for (const SourceUnit& unit : model.Units) {
    for (const RvaRange& range : unit.Ranges) {
      if (rva < range.Begin || rva >= range.End) continue;
      location.Unit = &unit;
      auto after = std::upper_bound(
          unit.Lines.begin(), unit.Lines.end(), rva,
          [](uint32_t value, const UnitLine& line) { return value < line.Address; });
      if (after != unit.Lines.begin()) location.Line = std::prev(after)->Line;
    }
  }
  // The smallest function that holds the address (a nested or split function part).
  for (const FunctionInfo& function : model.Functions) {
    if (rva >= function.Address && rva - function.Address < function.Size &&
        (!location.Function || function.Size < location.Function->Size)) {
      location.Function = &function;
    }
  }
  return location;
}

}  // namespace vl::tools
