#include "hosts/isapi_requests.h"

#include <map>

#include "core/trace.h"
#include "hooking/procedure_hooks.h"
#include "hosts/host_kind.h"

namespace vl::hosts {

namespace {

using TExtensionProc = DWORD(WINAPI*)(EXTENSION_CONTROL_BLOCK*);
TExtensionProc g_original = nullptr;  // the trampoline

CRITICAL_SECTION& RequestsLock() {
  static CRITICAL_SECTION* lock = [] {
    auto* cs = new CRITICAL_SECTION;
    InitializeCriticalSection(cs);
    return cs;
  }();
  return *lock;
}

std::map<DWORD, EXTENSION_CONTROL_BLOCK*>& Requests() {
  static auto* requests = new std::map<DWORD, EXTENSION_CONTROL_BLOCK*>();
  return *requests;
}

EXTENSION_CONTROL_BLOCK* Exchange(DWORD threadId, EXTENSION_CONTROL_BLOCK* ecb) {
  EnterCriticalSection(&RequestsLock());
  EXTENSION_CONTROL_BLOCK* previous = nullptr;
  try {
    auto& requests = Requests();
    auto it = requests.find(threadId);
    if (it != requests.end()) previous = it->second;
    if (ecb)
      requests[threadId] = ecb;
    else if (it != requests.end())
      requests.erase(it);
  } catch (...) {
    // Out of memory: the request is served without an entry (its error answer cannot be sent).
  }
  LeaveCriticalSection(&RequestsLock());
  return previous;
}

}  // namespace

DWORD WINAPI HookedHttpExtensionProc(EXTENSION_CONTROL_BLOCK* ecb) {
  Trace("HookedHttpExtensionProc", {static_cast<void*>(ecb)}, 2);
  const DWORD thread = GetCurrentThreadId();
  EXTENSION_CONTROL_BLOCK* previous = Exchange(thread, ecb);
  DWORD result = HSE_STATUS_ERROR;
  if (g_original) result = g_original(ecb);
  Exchange(thread, previous);
  Trace("HookedHttpExtensionProc=", {static_cast<uint32_t>(result)}, -2);
  return result;
}

bool InstallHttpExtensionHook() {
  if (g_original) return true;
  void* target =
      reinterpret_cast<void*>(GetProcAddress(CrashReporterModule(), "HttpExtensionProc"));
  if (!target) return false;
  try {
    g_original = reinterpret_cast<TExtensionProc>(hooking::HookProcedure(
        target, reinterpret_cast<void*>(&HookedHttpExtensionProc), "HttpExtensionProc"));
  } catch (const std::exception& e) {
    Trace("InstallHttpExtensionHook failed", {e.what()});
    g_original = nullptr;
  }
  return g_original != nullptr;
}

void RemoveHttpExtensionHook() {
  if (g_original) hooking::UnpatchProcedure(reinterpret_cast<void*>(g_original));
}

EXTENSION_CONTROL_BLOCK* ServingControlBlock(DWORD threadId) {
  EnterCriticalSection(&RequestsLock());
  EXTENSION_CONTROL_BLOCK* ecb = nullptr;
  auto& requests = Requests();
  auto it = requests.find(threadId);
  if (it != requests.end()) ecb = it->second;
  LeaveCriticalSection(&RequestsLock());
  return ecb;
}

}  // namespace vl::hosts
