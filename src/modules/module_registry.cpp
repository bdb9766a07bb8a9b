#include "modules/module_registry.h"

#include <tlhelp32.h>

#include <atomic>
#include <memory>
#include <vector>

#include "datablock/data_block_format.h"
#include "modules/data_block_loader.h"
#include "modules/module_type.h"
#include "platform/module_file.h"
#include "platform/version_info.h"

namespace vl::modules {

namespace {

TVantorModulesList* g_list = nullptr;
bool g_enumerating = false;

// Loads and unloads since start-up, counted by the loader's notification; the list is
// enumerated again only when the count moved since its last enumeration. Without the
// notification (older systems) every refresh enumerates.
std::atomic<uint32_t> g_loaderChanges{1};
uint32_t g_enumeratedAt = 0;
void* g_notificationCookie = nullptr;

using TEnumProcessModules = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, LPDWORD);
using TDllNotification = void(NTAPI*)(ULONG reason, const void* data, void* context);
using TRegisterDllNotification = LONG(NTAPI*)(ULONG flags, TDllNotification notification,
                                              void* context, void** cookie);
using TUnregisterDllNotification = LONG(NTAPI*)(void* cookie);

// A routine found by name, as the function type it is known to have.
template <class Fn>
Fn Routine(HMODULE library, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

bool IsNTFamily() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExA(&version)) return true;
#pragma GCC diagnostic pop
  return version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// Runs under the loader lock: it only counts.
void NTAPI CountLoaderChange(ULONG, const void*, void*) {
  g_loaderChanges.fetch_add(1, std::memory_order_release);
}

void WatchLoader() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  auto watch =
      ntdll ? Routine<TRegisterDllNotification>(ntdll, "LdrRegisterDllNotification") : nullptr;
  if (watch && watch(0, CountLoaderChange, nullptr, &g_notificationCookie) != 0)
    g_notificationCookie = nullptr;
}

void StopWatchingLoader() {
  if (!g_notificationCookie) return;
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  auto unwatch =
      ntdll ? Routine<TUnregisterDllNotification>(ntdll, "LdrUnregisterDllNotification") : nullptr;
  if (unwatch) unwatch(g_notificationCookie);
  g_notificationCookie = nullptr;
}

// kernel32's copy where the system has one; PSAPI.DLL otherwise, loaded once and kept, so that
// a refresh loads and unloads nothing (each would count as a change and cost a load).
TEnumProcessModules EnumProcessModulesRoutine() {
  static TEnumProcessModules routine = [] {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto found = kernel ? Routine<TEnumProcessModules>(kernel, "K32EnumProcessModules") : nullptr;
    if (!found) {
      HMODULE psapi = LoadLibraryA("PSAPI.DLL");
      if (psapi) found = Routine<TEnumProcessModules>(psapi, "EnumProcessModules");
    }
    return found;
  }();
  return routine;
}

std::vector<HMODULE> ModulesFromPsapi() {
  std::vector<HMODULE> out;
  auto enumModules = EnumProcessModulesRoutine();
  if (enumModules) {
    const HANDLE process = GetCurrentProcess();
    DWORD needed = 0;
    std::vector<HMODULE> handles(256);
    for (int attempt = 0; attempt < 4; ++attempt) {
      DWORD bytes = static_cast<DWORD>(handles.size() * sizeof(HMODULE));
      if (!enumModules(process, handles.data(), bytes, &needed)) break;
      if (needed <= bytes) {
        handles.resize(needed / sizeof(HMODULE));
        out = handles;
        break;
      }
      handles.resize(needed / sizeof(HMODULE) + 16);
    }
  }
  return out;
}

std::vector<HMODULE> ModulesFromToolhelp() {
  using TSnapshot = HANDLE(WINAPI*)(DWORD, DWORD);
  using TModuleWalk = BOOL(WINAPI*)(HANDLE, MODULEENTRY32*);
  std::vector<HMODULE> out;
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!kernel) return out;
  auto snapshot = Routine<TSnapshot>(kernel, "CreateToolhelp32Snapshot");
  auto first = Routine<TModuleWalk>(kernel, "Module32First");
  auto next = Routine<TModuleWalk>(kernel, "Module32Next");
  if (!snapshot || !first || !next) return out;
  HANDLE snap = snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId());
  if (snap == INVALID_HANDLE_VALUE) return out;
  MODULEENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL ok = first(snap, &entry); ok; ok = next(snap, &entry)) out.push_back(entry.hModule);
  CloseHandle(snap);
  return out;
}

}  // namespace

TVantorModulesList* ModulesList() { return g_list; }

void CreateModulesList() {
  if (g_list) return;
  g_list = new TVantorModulesList;
  g_enumeratedAt = 0;
  WatchLoader();
}

void FreeModulesList() {
  StopWatchingLoader();
  delete g_list;
  g_list = nullptr;
}

namespace {

// The parts of a record that an enumeration skips: exported functions, module type, data block.
void Complete(TVantorModuleInfo& info) {
  TSeams& seams = Seams();
  if (!info.Functions && seams.BuildFunctionsList)
    info.Functions = seams.BuildFunctionsList(info.Handle);
  info.ModuleType = GetModuleType(info.Handle);
  if (!LoadDebugInformation(info)) {
    info.DataVersion = datablock::kLibraryDataVersion;
    info.Reserved1 = 0;
    info.Reserved2 = 0;
    info.DropDebugUnits();
    info.DebugInfo.reset();
  }
  info.Complete = true;
}

}  // namespace

bool RegisterModule(HMODULE handle) {
  if (!g_list) return false;
  std::string fileName = platform::GetModuleFileName(handle);
  if (fileName.empty()) return false;

  auto info = std::make_unique<TVantorModuleInfo>();
  info->Handle = handle;
  info->FileName = fileName;
  platform::GetVersionInfo(fileName, info->Description, info->Version);
  info->FileSize = platform::GetFileSize(fileName);
  TSeams& seams = Seams();
  if (seams.CreateOptions) info->Options = seams.CreateOptions(fileName);
  info->DataVersion = datablock::kLibraryDataVersion;
  if (!g_enumerating) Complete(*info);
  g_list->Add(std::move(info));
  return true;
}

TVantorModuleInfo* GetModuleInfo(HMODULE handle) {
  if (!handle || !g_list) return nullptr;
  int index = g_list->IndexOf(handle);
  if (index >= 0) {
    // Completed in place: pointers to the record that callers keep stay valid.
    TVantorModuleInfo* found = (*g_list)[index];
    if (!found->Complete) Complete(*found);
    return found;
  }
  if (!RegisterModule(handle)) return nullptr;
  return (*g_list)[g_list->Count() - 1];
}

TVantorModuleInfo* GetModuleInfoByAddress(const void* address) {
  return GetModuleInfo(platform::ModuleOfAddress(address));
}

void RefreshModulesList() {
  if (!g_list) return;
  const uint32_t changes = g_loaderChanges.load(std::memory_order_acquire);
  if (g_notificationCookie && changes == g_enumeratedAt) return;
  g_enumeratedAt = changes;
  for (int i = g_list->Count() - 1; i >= 0; --i)
    if (platform::GetModuleFileName((*g_list)[i]->Handle).empty()) g_list->Delete(i);

  std::vector<HMODULE> loaded = IsNTFamily() ? ModulesFromPsapi() : ModulesFromToolhelp();
  struct Enumerating {
    Enumerating() { g_enumerating = true; }
    ~Enumerating() { g_enumerating = false; }
  } enumerating;
  for (HMODULE handle : loaded)
    if (g_list->IndexOf(handle) < 0) RegisterModule(handle);
  g_list->SortByHandle();
}

}  // namespace vl::modules
