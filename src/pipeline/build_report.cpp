#include "pipeline/build_report.h"

#include "capture/capture_unit.h"
#include "capture/process_memory.h"
#include "capture/thrown_object.h"
#include "core/module_options.h"
#include "core/trace.h"
#include "modules/module_info.h"
#include "modules/module_registry.h"
#include "report/system_info_win.h"
#include "runtime/file_names.h"

namespace vl::pipeline {

namespace {

report::TReportTime ToReportTime(const SYSTEMTIME& t) {
  return report::TReportTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

void FillRegisters(report::TCpuFacts& cpu, const CONTEXT& c) {
#if defined(__x86_64__)
  cpu.Registers = {c.Rax, c.Rdi, c.Rbx, c.Rsi, c.Rcx, c.Rsp, c.Rdx, c.Rip};
#else
  cpu.Registers = {c.Eax, c.Edi, c.Ebx, c.Esi, c.Ecx, c.Esp, c.Edx, c.Eip};
#endif
}

uintptr_t ContextStackPointer(const CONTEXT& c) {
#if defined(__x86_64__)
  return static_cast<uintptr_t>(c.Rsp);
#else
  return c.Esp;
#endif
}

void FillExceptionFacts(report::TReportFacts& facts, const TVantorExceptionRecord& record) {
  const TPipelineState& state = State();
  facts.ExceptionAddress = reinterpret_cast<uintptr_t>(record.ExceptionAddress);
  facts.ExceptionModule.clear();
  if (TVantorModuleInfo* info = modules::GetModuleInfoByAddress(record.ExceptionAddress)) {
    facts.ExceptionModule = rtl::ExtractFileName(info->FileName);  // the name, as the report shows
  }
  facts.ExplicitType = state.RemoteTypeName;
  facts.ExplicitMessage = state.RemoteMessage;
  const capture::TThrownObject thrown = capture::ThrownObjectOf(record.ExceptionObject);
  facts.ObjectClassName = record.ExceptionObject ? record.ClassName : std::string();
  facts.ObjectHasMessage = capture::HasOwnMessage(thrown);
  facts.ObjectMessage = record.Message;
}

}  // namespace

std::vector<uint8_t> ReadProcessBytes(uintptr_t address, size_t length) {
  std::vector<uint8_t> bytes;
  if (address == 0 || length == 0 || !capture::IsReadable(address, length)) return bytes;
  bytes.resize(length);
  SIZE_T read = 0;
  if (!ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<const void*>(address), bytes.data(),
                         length, &read) ||
      read != length) {
    bytes.clear();
  }
  return bytes;
}

std::vector<report::TStackEntryFacts> StackFacts(const capture::TVantorStackList& stack) {
  std::vector<report::TStackEntryFacts> out;
  out.reserve(static_cast<size_t>(stack.Count()));
  for (int i = 0; i < stack.Count(); ++i) {
    const TVantorDebugInfo& item = stack.Items(i);
    report::TStackEntryFacts entry;
    entry.Kind = item.DebugDetail;
    entry.Address = item.Addr;
    if (item.ModuleInfo) {
      entry.ModulePath = item.ModuleInfo->FileName;
      entry.ModuleType = item.ModuleInfo->ModuleType;
    } else if (entry.Kind > 0) {
      entry.Kind = 0;
    }
    entry.UnitName = item.UnitName;
    entry.ClassName = item.ClassName;
    entry.ProcedureName = item.ProcedureName;
    entry.LineNumber = item.LineNumber;
    out.push_back(std::move(entry));
  }
  return out;
}

void DropStaleModuleRecords(capture::TVantorStackList& stack) {
  modules::TVantorModulesList* list = modules::ModulesList();
  capture::TVantorStackList kept;
  for (int i = 0; i < stack.Count(); ++i) {
    TVantorDebugInfo item = stack.Items(i);
    bool present = false;
    for (int m = 0; list && m < list->Count() && !present; ++m)
      present = (*list)[m] == item.ModuleInfo;
    if (!present) item.ModuleInfo = nullptr;
    kept.Add(item);
  }
  stack = std::move(kept);
}

void BuildReport(TVantorExceptionRecord& record, const TFaultFacts& fault,
                 std::vector<report::TStackEntryFacts> stack, bool webOrConsole) {
  Trace("BuildReport", {}, 2);
  TPipelineState& state = State();
  report::TReportFacts facts;
  report::GatherSystemFacts(facts);
  const int32_t bias = report::ZoneBias();
  facts.StartDate = report::FormatReportDate(ToReportTime(capture::StartTime), bias);
  facts.ExceptionDate = report::FormatReportDate(report::LocalReportTime(), bias);
  FillExceptionFacts(facts, record);
  facts.ControlClass = fault.ActiveControlClass;
  facts.ControlText = fault.ActiveControlText;
  facts.WebOrConsole = webOrConsole;
  facts.Stack = std::move(stack);

  if (modules::TVantorModulesList* list = modules::ModulesList()) {
    for (int i = 0; i < list->Count(); ++i) {
      const TVantorModuleInfo* info = (*list)[i];
      report::TModuleFacts m;
      m.Handle = reinterpret_cast<uintptr_t>(info->Handle);
      m.FilePath = info->FileName;
      m.Description = info->Description;
      m.Version = info->Version;
      m.FileSize = info->FileSize;
      facts.Modules.push_back(std::move(m));
    }
  }

  report::TCpuFacts& cpu = facts.Cpu;
  cpu.PointerSize = static_cast<int>(sizeof(void*));
  cpu.ExceptionAddress = facts.ExceptionAddress;
  uintptr_t stackPointer = fault.StackPointer;
  if (fault.Context && fault.Context->ContextFlags != 0) {
    cpu.HasContext = true;
    FillRegisters(cpu, *fault.Context);
    if (ContextStackPointer(*fault.Context) != 0)
      stackPointer = ContextStackPointer(*fault.Context);
  }
  cpu.StackPointer = stackPointer;
  const size_t stackBytes = report::StackDumpBytes(cpu.PointerSize);
  if (fault.StackCopy && stackPointer >= fault.StackPointer &&
      stackPointer - fault.StackPointer + stackBytes <= fault.StackCopySize) {
    const uint8_t* from = fault.StackCopy + (stackPointer - fault.StackPointer);
    cpu.StackBytes.assign(from, from + stackBytes);
  } else if (!fault.StackCopy) {
    cpu.StackBytes = ReadProcessBytes(stackPointer, stackBytes);
  }
  cpu.CodeBytes =
      ReadProcessBytes(static_cast<uintptr_t>(cpu.ExceptionAddress), report::CodeDumpBytes);

  state.Facts = std::move(facts);
  state.Blocks = report::BuildBoundedReportBlocks(state.Facts, *record.Options);
  record.ReportText = state.Blocks.Full;
  state.ErrorMessage = state.Blocks.ErrorMessage;
  Trace("BuildReport=", {static_cast<int64_t>(record.ReportText.size())}, -2);
}

void RebuildReportWithRemoteData(TVantorExceptionRecord& record) {
  TPipelineState& state = State();
  if (record.ReportText.empty() || !record.Options) return;
  state.Facts.ExplicitType = state.RemoteTypeName;
  state.Facts.ExplicitMessage = state.RemoteMessage;
  report::RebuildGeneralBlock(state.Blocks, state.Facts, *record.Options);
  record.ReportText = state.Blocks.Full;
  state.ErrorMessage = state.Blocks.ErrorMessage;
}

}  // namespace vl::pipeline
