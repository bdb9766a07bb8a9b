#include "hosts/framework_hooks.h"

#include <windows.h>

#include <cstring>
#include <exception>

#include "core/trace.h"
#include "debuginfo/find_and_redirect.h"
#include "debuginfo/module_seam.h"
#include "debuginfo/source_info.h"
#include "hooking/procedure_hooks.h"

// The handlers are member functions: this in ECX on i686 (thiscall), the first argument on
// x86-64 (where the attribute does not exist).
#if defined(__i386__)
#define VL_THISCALL __attribute__((thiscall))
#else
#define VL_THISCALL
#endif

namespace vl::hosts {

namespace {

// The routine each replacement replaced (its trampoline), or null when not redirected.
void* g_gui = nullptr;
void* g_cgi = nullptr;
void* g_isapi = nullptr;
void* g_service = nullptr;

using TObjectHandler = void(VL_THISCALL*)(void* self, void* argument);
using TLogMessage = void(VL_THISCALL*)(void* self, const std::string& message,
                                       unsigned long eventType, int category, int id);

bool LetFrameworkHandle() {
  const auto manager = Seams().ExceptionManager;
  return manager == nullptr || manager();
}

// Runs Body; when it raises, puts the routine of Trampoline back for good and raises again.
template <class Body>
void Protected(void*& trampoline, const char* name, Body body) {
  try {
    body();
  } catch (...) {
    Trace(name, {"raised: routine put back"});
    if (trampoline) hooking::UnpatchProcedure(trampoline);
    throw;
  }
}

void ObjectHandler(void*& trampoline, const char* name, void* self, void* argument) {
  Trace(name, {self, argument}, 2);
  void* original = trampoline;
  Protected(trampoline, name, [&] {
    if (LetFrameworkHandle() && original)
      reinterpret_cast<TObjectHandler>(original)(self, argument);
  });
  Trace(std::string(name) + " end", {}, -2);
}

VL_THISCALL void Hooked_GUIHandleException(void* self, void* sender) {
  ObjectHandler(g_gui, "Hooked_GUIHandleException", self, sender);
}
VL_THISCALL void Hooked_CGIHandleServerException(void* self, void* argument) {
  ObjectHandler(g_cgi, "Hooked_CGIHandleServerException", self, argument);
}
VL_THISCALL void Hooked_ISAPIHandleServerException(void* self, void* argument) {
  ObjectHandler(g_isapi, "Hooked_ISAPIHandleServerException", self, argument);
}

VL_THISCALL void Hooked_NTServiceLogMessage(void* self, const std::string& message,
                                            unsigned long eventType, int category, int id) {
  Trace("Hooked_NTServiceLogMessage",
        {self, message, static_cast<uint32_t>(eventType), category, id}, 2);
  void* original = g_service;
  Protected(g_service, "Hooked_NTServiceLogMessage", [&] {
    // Outside a catch block the message is no exception: it always passes.
    if ((!std::current_exception() || LetFrameworkHandle()) && original)
      reinterpret_cast<TLogMessage>(original)(self, message, eventType, category, id);
  });
  Trace("Hooked_NTServiceLogMessage end", {}, -2);
}

template <class F>
void* Address(F function) {
  void* address;
  static_assert(sizeof function >= sizeof address, "a code address fits");
  std::memcpy(&address, &function, sizeof address);
  return address;
}

void* Redirect(const char* fullName, const char* packageFile, const char* exportName,
               void* replacement) {
  void* result = nullptr;
  try {
    if (*packageFile) {
      result = FindAndRedirect(fullName, packageFile, exportName, replacement);
    } else if (uintptr_t address = FindProcAddress(fullName)) {
      result = debuginfo::Seams().RedirectProc
                   ? debuginfo::Seams().RedirectProc(reinterpret_cast<void*>(address), replacement,
                                                     fullName)
                   : nullptr;
    }
  } catch (const std::exception& e) {
    // The hooking engine refused the routine (its prologue cannot be moved): skipped.
    Trace("framework handler not redirected", {fullName, e.what()});
    return nullptr;
  } catch (...) {
    Trace("framework handler not redirected", {fullName});
    return nullptr;
  }
  Trace(result ? "framework handler redirected" : "framework handler not found", {fullName});
  return result;
}

}  // namespace

int InstallFrameworkHooks() {
  Trace("InstallFrameworkHooks", {}, 2);
  int count = 0;
  if (!g_gui)
    g_gui = Redirect("vl.Forms.TApplication.HandleException", "VCL70.BPL",
                     "@Forms@TApplication@HandleException$qqrp14System@TObject",
                     Address(&Hooked_GUIHandleException));
  if (!g_cgi)
    g_cgi = Redirect("vl.CGIApp.TCGIApplication.CGIHandleException", "", "",
                     Address(&Hooked_CGIHandleServerException));
  if (!g_isapi)
    g_isapi = Redirect("vl.ISAPIApp.TISAPIApplication.ISAPIHandleException", "", "",
                       Address(&Hooked_ISAPIHandleServerException));
  if (!g_service)
    g_service = Redirect("vl.SvcMgr.TService.LogMessage", "VCL70.BPL",
                         "@Svcmgr@TService@LogMessage$qqr17System@AnsiStringuiii",
                         Address(&Hooked_NTServiceLogMessage));
  for (void* t : {g_gui, g_cgi, g_isapi, g_service}) count += t != nullptr;
  Trace("InstallFrameworkHooks=", {count}, -2);
  return count;
}

void RemoveFrameworkHooks() {
  for (void* t : {g_gui, g_cgi, g_isapi, g_service})
    if (t) hooking::UnpatchProcedure(t);
}

}  // namespace vl::hosts
