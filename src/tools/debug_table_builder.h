// Turns the model of a module's DWARF information into the crash reporter's debug-information
// table: one table unit per run of code that one source file owns, line records for each change
// of line, a name record where a function begins, and the name index of every function.
#pragma once

#include <cstddef>
#include <string>

#include "debuginfo/debug_table.h"
#include "tools/debug_model.h"

namespace vl::tools {

// The longest name a record or the index can hold (one length byte).
constexpr size_t kMaxStoredName = 255;

// The name a record stores for a function: "Class.Proc", or "Proc" without a class. The class
// may hold dots itself (the lookup splits at the last one); a dot inside the procedure becomes
// "_". A name longer than kMaxStoredName keeps its procedure (cut to 200 bytes, or more when the
// class is short) and the start of its class.
std::string RecordName(const std::string& className, const std::string& procedureName);

struct TableStatistics {
  size_t Units = 0;         // table units written (a source file in several runs counts each)
  size_t IndexEntries = 0;  // names in the index
  size_t DroppedNames = 0;  // qualified names too long for the index
};

TDebugTable BuildDebugTable(const DebugModel& model, TableStatistics* statistics = nullptr);

}  // namespace vl::tools
