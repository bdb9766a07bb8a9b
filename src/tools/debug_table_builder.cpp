#include "tools/debug_table_builder.h"

#include <algorithm>

#include "debuginfo/name_rules.h"

namespace vl::tools {

namespace {

// Code offsets count from the image base plus one page.
constexpr uint32_t kCodeOffsetBase = 4096;

int32_t CodeOffset(uint32_t rva) { return static_cast<int32_t>(rva - kCodeOffsetBase); }

struct Run {
  uint32_t Begin;
  uint32_t End;
  size_t Unit;
};

// The code runs of the model, by address; two runs of one unit with nobody's code between them
// become one (the gap is alignment padding).
std::vector<Run> CollectRuns(const DebugModel& model) {
  std::vector<Run> runs;
  for (size_t u = 0; u < model.Units.size(); ++u) {
    for (const RvaRange& range : model.Units[u].Ranges) runs.push_back({range.Begin, range.End, u});
  }
  std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.Begin < b.Begin; });
  std::vector<Run> merged;
  for (const Run& run : runs) {
    if (!merged.empty() && merged.back().Unit == run.Unit && merged.back().End <= run.Begin) {
      merged.back().End = run.End;
    } else {
      merged.push_back(run);
    }
  }
  return merged;
}

// Runs of a source file interrupted by a few runs of others (code inlined from headers, mostly)
// become one outer run over the whole stretch; the interrupting runs are inner runs. The table
// lists every inner run before the outer ones: the lookup takes the first unit whose range holds
// an address, so inner code still finds its own unit, with far fewer units in all.
struct NestedRuns {
  std::vector<Run> Inner;
  std::vector<Run> Outer;
};

NestedRuns NestRuns(const std::vector<Run>& runs) {
  constexpr size_t kLookahead = 16;
  NestedRuns out;
  size_t i = 0;
  while (i < runs.size()) {
    Run outer = runs[i];
    size_t next = i + 1;
    for (;;) {
      size_t j = next;
      while (j < runs.size() && j < next + kLookahead && runs[j].Unit != outer.Unit) ++j;
      if (j == runs.size() || j == next + kLookahead) break;
      out.Inner.insert(out.Inner.end(), runs.begin() + static_cast<ptrdiff_t>(next),
                       runs.begin() + static_cast<ptrdiff_t>(j));
      outer.End = runs[j].End;
      next = j + 1;
    }
    out.Outer.push_back(outer);
    i = next;
  }
  return out;
}

// The line of the unit's code at Rva: the last line step at or before it.
uint32_t LineAt(const SourceUnit& unit, uint32_t rva) {
  auto after =
      std::upper_bound(unit.Lines.begin(), unit.Lines.end(), rva,
                       [](uint32_t value, const UnitLine& line) { return value < line.Address; });
  return after == unit.Lines.begin() ? 0 : std::prev(after)->Line;
}

class FunctionFinder {
 public:
  explicit FunctionFinder(const std::vector<FunctionInfo>& functions) : functions_(functions) {}

  // The smallest function that holds Rva, or null. Functions rarely nest, so only the few that
  // start last before the address are looked at.
  const FunctionInfo* At(uint32_t rva) const {
    auto after =
        std::upper_bound(functions_.begin(), functions_.end(), rva,
                         [](uint32_t value, const FunctionInfo& f) { return value < f.Address; });
    const FunctionInfo* best = nullptr;
    for (int looked = 0; after != functions_.begin() && looked < 16; ++looked) {
      --after;
      if (rva - after->Address < after->Size && (!best || after->Size < best->Size)) {
        best = &*after;
      }
    }
    return best;
  }

 private:
  const std::vector<FunctionInfo>& functions_;
};

struct Point {
  uint32_t Address;
  uint32_t Line;
  const FunctionInfo* Function;
};

TDebugUnit BuildUnit(const SourceUnit& unit, const Run& run, const FunctionFinder& finder,
                     const std::vector<FunctionInfo>& functions) {
  // Every address where the line or the function changes.
  std::vector<uint32_t> addresses{run.Begin};
  for (auto it = std::lower_bound(
           unit.Lines.begin(), unit.Lines.end(), run.Begin,
           [](const UnitLine&line, uint32_t value) { return line.Address < value; });
       it != unit.Lines.end() && it->Address < run.End; ++it) {
    addresses.push_back(it->Address);
  }
  for (auto it =
           std::lower_bound(functions.begin(), functions.end(), run.Begin,
                            [](const FunctionInfo&f, uint32_t value) { return f.Address < value; });
       it != functions.end() && it->Address < run.End; ++it) {
    addresses.push_back(it->Address);
    if (it->Address + it->Size < run.End) addresses.push_back(it->Address + it->Size);
  }
  std::sort(addresses.begin(), addresses.end());
  addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
  std::vector<Point> points;
  for (uint32_t address : addresses) {
    Point point{address, LineAt(unit, address), finder.At(address)};
    // Code outside any function keeps the name before it.
    if (!point.Function && !points.empty()) point.Function = points.back().Function;
    if (!points.empty() && points.back().Line == point.Line &&
        points.back().Function == point.Function) {
      continue;
    }
    points.push_back(point);
  }

  TDebugUnit out;
  out.Name = unit.Name.size() > kMaxStoredName ? unit.Name.substr(0, kMaxStoredName) : unit.Name;
  out.FirstLine = static_cast<int32_t>(points.front().Line);
  out.StartOffset = CodeOffset(run.Begin);
  out.CodeSize = static_cast<int32_t>(run.End - run.Begin);
  TNameState names;
  std::string current;  // the record name last written
  for (size_t k = 0; k < points.size(); ++k) {
    const Point& point = points[k];
    if (point.Function) {
      std::string name = RecordName(point.Function->ClassName, point.Function->ProcedureName);
      if (name != current) {
        current = name;
        // A name on a record of no length: its class and procedure both start with the next
        // record, which is where the function starts.
        // The class the previous named record left is not repeated: ".Proc".
        std::string stored = name;
        size_t dot = name.rfind('.');
        if (dot != std::string::npos && dot > 0 && name.compare(0, dot, names.PreviousClass) == 0 &&
            dot == names.PreviousClass.size()) {
          stored = name.substr(dot);
        }
        ApplyRecordName(stored, names);
        out.Records.push_back({TLineStep{0, 0, true}, stored});
      }
    }
    if (k + 1 == points.size()) break;  // the rest of the run belongs to the last line
    const Point& next = points[k + 1];
    out.Records.push_back({TLineStep{static_cast<int32_t>(next.Line - point.Line),
                                     next.Address - point.Address, false},
                           ""});
  }
  return out;
}

}  // namespace

std::string RecordName(const std::string& className, const std::string& procedureName) {
  std::string procedure = procedureName;
  std::replace(procedure.begin(), procedure.end(), '.', '_');
  std::string cls = className;
  if (cls.empty()) {
    if (procedure.size() > kMaxStoredName) procedure.resize(kMaxStoredName);
  } else if (cls.size() + 1 + procedure.size() > kMaxStoredName) {
    // The procedure keeps 200 bytes, more when the class is short; the class the rest.
    const size_t room =
        cls.size() < kMaxStoredName - 1 - 200 ? kMaxStoredName - 1 - cls.size() : 200;
    procedure.resize(std::min(procedure.size(), room));
    cls.resize(std::min(cls.size(), kMaxStoredName - 1 - procedure.size()));
  }
  return cls.empty() ? procedure : cls + "." + procedure;
}

TDebugTable BuildDebugTable(const DebugModel& model, TableStatistics* statistics) {
  TDebugTable table;
  TableStatistics stats;
  for (const NameIndexEntry& entry : model.NameIndex) {
    if (entry.QualifiedName.size() > kMaxStoredName) {
      ++stats.DroppedNames;
      continue;
    }
    table.Index.push_back({entry.QualifiedName, CodeOffset(entry.Address), 0});
  }
  FunctionFinder finder(model.Functions);
  NestedRuns runs = NestRuns(CollectRuns(model));
  for (const std::vector<Run>* list : {&runs.Inner, &runs.Outer}) {
    for (const Run& run : *list) {
      if (run.Begin < kCodeOffsetBase) continue;  // no code lives in the headers' page
      table.Units.push_back(BuildUnit(model.Units[run.Unit], run, finder, model.Functions));
    }
  }
  stats.Units = table.Units.size();
  stats.IndexEntries = table.Index.size();
  if (statistics) *statistics = stats;
  return table;
}

}  // namespace vl::tools
