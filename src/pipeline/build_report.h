// The report of the exception being notified: the facts gathered from the system, the faulting
// thread's registers and memory, the call stack and the module list, turned into the report's
// blocks (report_blocks.h).
#pragma once

#include <windows.h>

#include <string>

#include "pipeline/pipeline_state.h"

namespace vl::pipeline {

// What the report needs of the faulting thread.
struct TFaultFacts {
  void* Address = nullptr;
  const CONTEXT* Context = nullptr;  // null: no registers ("????")
  uintptr_t StackPointer = 0;
  // A copy of the stack from StackPointer on (the frozen main thread's); null: read the process.
  const uint8_t* StackCopy = nullptr;
  size_t StackCopySize = 0;
  std::string ActiveControlClass;
  std::string ActiveControlText;
};

// The call stack's entries as the report shows them. Call before the module list is refreshed
// (an unloaded module's record may go then).
std::vector<report::TStackEntryFacts> StackFacts(const capture::TVantorStackList& stack);

// Clears every stack entry's module record that is no longer in the module list.
void DropStaleModuleRecords(capture::TVantorStackList& stack);

// Fills State().Facts and State().Blocks for the record (its object, address and options) and
// sets the record's ReportText and State().ErrorMessage. Stack: the entries from StackFacts.
void BuildReport(TVantorExceptionRecord& record, const TFaultFacts& fault,
                 std::vector<report::TStackEntryFacts> stack, bool webOrConsole);

// After RemoteTypeName / RemoteMessage changed: the general block again and the report
// reassembled.
void RebuildReportWithRemoteData(TVantorExceptionRecord& record);

// Reads Length bytes at Address when every byte is committed and readable (never faults); an
// empty result otherwise.
std::vector<uint8_t> ReadProcessBytes(uintptr_t address, size_t length);

}  // namespace vl::pipeline
