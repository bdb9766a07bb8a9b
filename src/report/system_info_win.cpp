#include "report/system_info_win.h"

#include <cstring>
#include <vector>

#include "core/trace.h"
#include "platform/process_window.h"
#include "platform/version_info.h"
#include "report/report_text_rules.h"
#include "runtime/command_line.h"

namespace vl::report {

namespace {

std::string MainExecutable() {
  char path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, length);
}

std::string ClassOf(HWND window) {
  if (window == nullptr) return std::string();
  char name[256] = {};
  const int length = GetClassNameA(window, name, sizeof name);
  return length > 0 ? std::string(name, static_cast<size_t>(length)) : std::string();
}

std::string UpperTrimmed(const std::string& text) {
  std::string out = TrimText(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool MemoryStatus(uint64_t& total, uint64_t& available) {
  using Proc = BOOL(WINAPI*)(LPMEMORYSTATUSEX);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  Proc statusEx = kernel != nullptr ? reinterpret_cast<Proc>(reinterpret_cast<void*>(
                                          GetProcAddress(kernel, "GlobalMemoryStatusEx")))
                                    : nullptr;
  if (statusEx != nullptr) {
    MEMORYSTATUSEX status;
    std::memset(&status, 0, sizeof status);
    status.dwLength = sizeof status;
    if (statusEx(&status)) {
      total = status.ullTotalPhys;
      available = status.ullAvailPhys;
      return true;
    }
  }
  MEMORYSTATUS status;
  std::memset(&status, 0, sizeof status);
  status.dwLength = sizeof status;
  GlobalMemoryStatus(&status);
  total = status.dwTotalPhys;
  available = status.dwAvailPhys;
  return true;
}

bool DiskSpace(uint64_t& total, uint64_t& freeForUser) {
  using Proc = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr) return false;
  Proc freeSpace = reinterpret_cast<Proc>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "GetDiskFreeSpaceExA")));
  if (freeSpace == nullptr) return false;
  // The module holding this code (the crash reporter may live in a library).
  HMODULE self = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&DiskSpace), &self)) {
    return false;
  }
  char path[MAX_PATH + 1] = {};
  if (GetModuleFileNameA(self, path, MAX_PATH) < 3 || path[1] != ':') return false;
  const std::string drive = std::string(path, 2) + "\\";
  ULARGE_INTEGER available, size, free;
  if (!freeSpace(drive.c_str(), &available, &size, &free)) return false;
  total = size.QuadPart;
  freeForUser = available.QuadPart;
  return true;
}

std::string DecimalSeparator() {
  char buffer[8] = {};
  const int length = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, sizeof buffer);
  return length > 1 ? std::string(buffer, static_cast<size_t>(length - 1)) : std::string(".");
}

// The locale enumeration's callback has no context argument.
thread_local std::string* g_language = nullptr;
thread_local LANGID g_defaultLanguage = 0;
thread_local bool g_wide = false;

BOOL CALLBACK LocaleProc(LPSTR localeText) {
  if (localeText == nullptr || std::strlen(localeText) < 8) return TRUE;
  const LANGID id =
      static_cast<LANGID>(std::strtoul(std::string(localeText + 4, 4).c_str(), nullptr, 16));
  const LCID locale = MAKELCID(id, SORT_DEFAULT);
  std::string name;
  if (g_wide) {
    wchar_t buffer[1024] = {};
    if (GetLocaleInfoW(locale, LOCALE_SABBREVLANGNAME, buffer, 1024) <= 1) return TRUE;
    const int length = GetLocaleInfoW(locale, LOCALE_SLANGUAGE, buffer, 1024);
    if (length > 1) {
      char narrow[2048] = {};
      const int bytes = WideCharToMultiByte(CP_ACP, 0, buffer, length - 1, narrow, sizeof narrow,
                                            nullptr, nullptr);
      name.assign(narrow, bytes > 0 ? static_cast<size_t>(bytes) : 0);
    }
  } else {
    char buffer[1024] = {};
    if (GetLocaleInfoA(locale, LOCALE_SABBREVLANGNAME, buffer, 1024) <= 1) return TRUE;
    const int length = GetLocaleInfoA(locale, LOCALE_SLANGUAGE, buffer, 1024);
    if (length > 1) name.assign(buffer, static_cast<size_t>(length - 1));
  }
  if (id == g_defaultLanguage) {
    *g_language = name;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

TReportTime LocalReportTime() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return TReportTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

int32_t ZoneBias() {
  TIME_ZONE_INFORMATION zone;
  std::memset(&zone, 0, sizeof zone);
  if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) return 0;
  return zone.Bias;
}

std::string FormatLocalReportDate(const TReportTime& Time) {
  return FormatReportDate(Time, ZoneBias());
}

std::string GetApplicationName() {
  const std::string exe = MainExecutable();
  std::string description, version;
  platform::GetVersionInfo(exe, description, version);
  return description.empty() ? FileNameOf(exe) : description;
}

std::string GetApplicationVersion() {
  std::string description, version;
  platform::GetVersionInfo(MainExecutable(), description, version);
  return version == "0.0.0.0" ? std::string() : version;
}

std::string GetCommandLineParameters() {
  const std::vector<std::string> arguments = rtl::SplitCommandLine(GetCommandLineA());
  std::string out;
  for (size_t i = 1; i < arguments.size(); ++i) {
    if (i > 1) out += ' ';
    out += '"' + arguments[i] + '"';
  }
  return out;
}

std::string GetForegroundWindowClass() { return ClassOf(GetForegroundWindow()); }

std::string GetForegroundWindowText() {
  HWND window = GetForegroundWindow();
  if (window == nullptr) return std::string();
  char text[256] = {};
  // The default window procedure reads the caption the system keeps; the window's own thread,
  // perhaps suspended, is never asked.
  const LRESULT length =
      DefWindowProcA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return length > 0 ? std::string(text, static_cast<size_t>(length < 255 ? length : 255))
                    : std::string();
}

std::string GetFocusedControlClass() { return ClassOf(GetFocus()); }

std::string GetFocusedControlText() {
  HWND focus = GetFocus();
  if (focus == nullptr) return std::string();
  char text[256] = {};
  const int length = GetWindowTextA(focus, text, sizeof text);
  std::string value(text, length > 0 ? static_cast<size_t>(length) : 0);
  if (UpperTrimmed(ClassOf(focus)).find("EDIT") != std::string::npos &&
      (GetWindowLongA(focus, GWL_STYLE) & ES_PASSWORD) != 0) {
    value.assign(value.size(), '*');
  }
  return value;
}

std::string QueryComputerName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}

std::string QueryUserName() {
  char name[256] = {};
  DWORD size = sizeof name;
  if (!GetUserNameA(name, &size) || size == 0) return std::string();
  return std::string(name, size - 1);  // the size counts the terminating zero
}

std::string GetTotalMemory() {
  uint64_t total = 0, available = 0;
  return MemoryStatus(total, available) ? FormatMegabytes(total) : std::string();
}

std::string GetFreeMemory() {
  uint64_t total = 0, available = 0;
  return MemoryStatus(total, available) ? FormatMegabytes(available) : std::string();
}

std::string GetTotalDisk() {
  uint64_t total = 0, available = 0;
  return DiskSpace(total, available) ? FormatGigabytes(total, DecimalSeparator()) : std::string();
}

std::string GetFreeDisk() {
  uint64_t total = 0, available = 0;
  return DiskSpace(total, available) ? FormatGigabytes(available, DecimalSeparator())
                                     : std::string();
}

TOsVersionFacts GetOsVersionFacts() {
  OSVERSIONINFOA info;
  std::memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  TOsVersionFacts facts;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExA(&info)) return facts;
#pragma GCC diagnostic pop
  facts.Platform = info.dwPlatformId;
  facts.Major = info.dwMajorVersion;
  facts.Minor = info.dwMinorVersion;
  facts.Build = info.dwBuildNumber;
  facts.ServicePack = info.szCSDVersion;
  return facts;
}

std::string GetWindowsName() { return WindowsName(GetOsVersionFacts()); }
std::string GetWindowsBuild() { return WindowsBuild(GetOsVersionFacts()); }
std::string GetWindowsUpdate() { return WindowsUpdate(GetOsVersionFacts()); }

std::string GetWindowsLanguage() {
  std::string name;
  g_language = &name;
  g_defaultLanguage = GetSystemDefaultLangID();
  g_wide = GetOsVersionFacts().Platform == osPlatformNT;
  EnumSystemLocalesA(LocaleProc, LCID_INSTALLED);
  g_language = nullptr;
  return name;
}

void GatherSystemFacts(TReportFacts& Facts) {
  // What does not change while the process runs is read by the first report only (the
  // application's version resource, the system's version and language, the names).
  static const TReportFacts fixed = [] {
    TReportFacts f;
    f.AppName = GetApplicationName();
    f.AppVersion = GetApplicationVersion();
    f.Parameters = GetCommandLineParameters();
    f.ComputerName = QueryComputerName();
    f.UserName = QueryUserName();
    f.TotalMemory = GetTotalMemory();
    f.TotalDisk = GetTotalDisk();
    const TOsVersionFacts os = GetOsVersionFacts();
    f.OsName = WindowsName(os);
    f.OsBuild = WindowsBuild(os);
    f.OsUpdate = WindowsUpdate(os);
    f.OsLanguage = GetWindowsLanguage();
    return f;
  }();
  Facts.AppName = fixed.AppName;
  Facts.AppVersion = fixed.AppVersion;
  Facts.Parameters = fixed.Parameters;
  Facts.FormClass = GetForegroundWindowClass();
  Facts.FormText = GetForegroundWindowText();
  Facts.ComputerName = fixed.ComputerName;
  Facts.UserName = fixed.UserName;
  Facts.TotalMemory = fixed.TotalMemory;
  Facts.FreeMemory = GetFreeMemory();
  Facts.TotalDisk = fixed.TotalDisk;
  Facts.FreeDisk = GetFreeDisk();
  Facts.OsName = fixed.OsName;
  Facts.OsBuild = fixed.OsBuild;
  Facts.OsUpdate = fixed.OsUpdate;
  Facts.OsLanguage = fixed.OsLanguage;
  Facts.Cpu.PointerSize = static_cast<int>(sizeof(void*));
}

bool CopyReportToClipboard(const std::string& Text) {
  Trace("CopyReportToClipboard", {static_cast<int64_t>(Text.size())}, 2);
  bool result = false;
  if (OpenClipboard(platform::FindProcessWindow(GetCurrentProcessId()))) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, Text.size() + 1);
    void* memory = block != nullptr ? GlobalLock(block) : nullptr;
    if (memory != nullptr) {
      std::memcpy(memory, Text.c_str(), Text.size() + 1);
      GlobalUnlock(block);
      EmptyClipboard();
      result = SetClipboardData(CF_TEXT, block) != nullptr;
    }
    // The clipboard owns the block only when setting it succeeded.
    if (!result && block != nullptr) GlobalFree(block);
    CloseClipboard();
  }
  Trace("CopyReportToClipboard=", {result}, -2);
  return result;
}

}  // namespace vl::report
