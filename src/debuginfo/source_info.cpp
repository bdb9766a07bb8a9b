#include "debuginfo/source_info.h"

#include "core/trace.h"
#include "debuginfo/data_versions.h"
#include "debuginfo/export_name.h"
#include "debuginfo/module_seam.h"
#include "debuginfo/name_index.h"
#include "debuginfo/source_lookup.h"

namespace vl {

debuginfo::TSeams& debuginfo::Seams() {
  static TSeams seams;
  return seams;
}

namespace {

bool FindModule(uintptr_t address, TDebugModule& module) {
  const debuginfo::TSeams& seams = debuginfo::Seams();
  return seams.ModuleFinder != nullptr && seams.ModuleFinder(address, module);
}

// The code offset of Address in Module: its distance from base + 4096, negative below it.
int64_t CodeOffset(const TDebugModule& module, uintptr_t address) {
  return static_cast<int64_t>(static_cast<uint64_t>(address)) -
         static_cast<int64_t>(static_cast<uint64_t>(module.Base)) - vl::kCodeOffsetBase;
}

}  // namespace

namespace {
bool DebugInfoFromModule(uintptr_t address, TVantorDebugInfo& info) {
  TDebugModule module;
  if (!FindModule(address, module) || module.DebugInfo == nullptr) return false;
  vl::TSourceLocation location;
  const int64_t offset = CodeOffset(module, address);
  const bool found = module.Units && module.Units->Data() == module.DebugInfo
                         ? module.Units->Find(offset, location)
                         : vl::FindSourceLocation(module.DebugInfo, module.DebugInfoSize,
                                                  module.DataVersion, offset, location);
  if (!found) return false;
  info.DebugDetail = ddDebugInfo;
  info.ModuleInfo = module.Info;
  info.Addr = address;
  info.UnitName = std::move(location.UnitName);
  info.ClassName = std::move(location.ClassName);
  info.ProcedureName = std::move(location.ProcedureName);
  info.LineNumber = location.LineNumber;
  return true;
}
}  // namespace

bool GetDebugInfoFromModule(uintptr_t address, TVantorDebugInfo& info) {
  Trace("GetDebugInfoFromModule", {reinterpret_cast<void*>(address)}, 2);
  bool found = DebugInfoFromModule(address, info);
  Trace("GetDebugInfoFromModule=", {found}, -2);
  return found;
}

void ApplyExportName(const TVantorFunctionInfo& function, TVantorDebugInfo& info) {
  vl::TExportNameParts parts;
  uint8_t detail = vl::DecodeExportName(function.Name, parts);
  if (detail == ddNothing) return;
  info.DebugDetail = detail;
  info.UnitName = std::move(parts.UnitName);
  info.ClassName = std::move(parts.ClassName);
  info.ProcedureName = std::move(parts.ProcedureName);
}

TVantorDebugInfo GetSourceInfo(uintptr_t address) {
  TVantorDebugInfo info;
  if (GetDebugInfoFromModule(address, info)) return info;
  info = TVantorDebugInfo();
  info.Addr = address;
  TDebugModule module;
  if (!FindModule(address, module)) return info;
  info.DebugDetail = ddModule;
  info.ModuleInfo = module.Info;
  if (module.Functions != nullptr) {
    if (const TVantorFunctionInfo* function = module.Functions->Find(address))
      ApplyExportName(*function, info);
  }
  return info;
}

namespace {
uintptr_t ProcAddress(const std::string& fullName) {
  TDebugModule module;
  // The crash reporter's own module is the one that holds this routine.
  if (!FindModule(reinterpret_cast<uintptr_t>(&FindProcAddress), module) ||
      module.DebugInfo == nullptr) {
    return 0;
  }
  int32_t offset;
  if (!vl::FindNameIndexOffset(module.DebugInfo, module.DebugInfoSize, module.DataVersion, fullName,
                               offset)) {
    return 0;
  }
  return module.Base + vl::kCodeOffsetBase + static_cast<uintptr_t>(static_cast<intptr_t>(offset));
}
}  // namespace

uintptr_t FindProcAddress(const std::string& fullName) {
  Trace("FindProcAddress", {fullName}, 2);
  uintptr_t address = ProcAddress(fullName);
  Trace("FindProcAddress=", {reinterpret_cast<void*>(address)}, -2);
  return address;
}

void* HookProcByName(const std::string& fullName, void* newProc) {
  Trace("HookProcByName", {fullName, newProc}, 2);
  void* result = nullptr;
  uintptr_t address = FindProcAddress(fullName);
  if (address != 0 && newProc == nullptr)
    result = reinterpret_cast<void*>(address);
  else if (address != 0 && debuginfo::Seams().RedirectProc != nullptr) {
    try {
      result = debuginfo::Seams().RedirectProc(reinterpret_cast<void*>(address), newProc, fullName);
    } catch (...) {
      Trace("HookProcByName=", {result}, -2);
      throw;
    }
  }
  Trace("HookProcByName=", {result}, -2);
  return result;
}

}  // namespace vl
