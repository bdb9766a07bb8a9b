#include "hosts/host_kind.h"

#include "runtime/command_line.h"

namespace vl::hosts {

namespace {

// The system's file facts for the WinCGI decision: one open, the size and kind from the open
// handle, at most MaxProfileBytes + 1 bytes read.
class TSystemFiles : public TWinCgiPlatform {
 public:
  TFileFacts Inspect(const std::string& name) override {
    TFileFacts facts;
    DWORD attributes = GetFileAttributesA(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return facts;
    facts.exists = true;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return facts;
    HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return facts;
    LARGE_INTEGER size = {};
    facts.regularFile = GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size);
    facts.size = facts.regularFile ? static_cast<uint64_t>(size.QuadPart) : 0;
    if (facts.regularFile && facts.size <= MaxProfileBytes) {
      std::string bytes(static_cast<size_t>(MaxProfileBytes) + 1, '\0');
      DWORD got = 0;
      facts.readable =
          ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr) != FALSE;
      bytes.resize(got);
      facts.contents = std::move(bytes);
    }
    CloseHandle(file);
    return facts;
  }
  bool FileExists(const std::string& name) override {
    DWORD attributes = GetFileAttributesA(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  }
  uint64_t FileSize(const std::string& name) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }
};

const IMAGE_NT_HEADERS* NtHeaders(HMODULE module) {
  auto* base = reinterpret_cast<const uint8_t*>(module);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (!base || dos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  return nt->Signature == IMAGE_NT_SIGNATURE ? nt : nullptr;
}

}  // namespace

HMODULE CrashReporterModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<const char*>(&CrashReporterModule), &module);
  return module;
}

bool IsConsoleProgram() {
  const IMAGE_NT_HEADERS* nt = NtHeaders(GetModuleHandleA(nullptr));
  return nt && nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI;
}

bool IsCgiHost() {
  if (!IsConsoleProgram()) return false;
  // An empty variable gives 0 like a missing one; only the error code tells them apart, and
  // some systems leave it untouched for an empty value.
  char value[2];
  SetLastError(0);
  DWORD length = GetEnvironmentVariableA("REQUEST_METHOD", value, sizeof value);
  return length > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

bool IsIsapiHost() {
  HMODULE module = CrashReporterModule();
  const IMAGE_NT_HEADERS* nt = NtHeaders(module);
  if (!nt || !(nt->FileHeader.Characteristics & IMAGE_FILE_DLL)) return false;
  return GetProcAddress(module, "HttpExtensionProc") != nullptr;
}

TWinCgiCall WinCgiHost() {
  // Decided once, as the program starts (below), while the output file is as the server left it.
  static const TWinCgiCall call = [] {
    if (IsConsoleProgram()) return TWinCgiCall();
    std::vector<std::string> args = rtl::SplitCommandLine(GetCommandLineA());
    if (!args.empty()) args.erase(args.begin());
    char folder[MAX_PATH + 1] = {};
    GetCurrentDirectoryA(MAX_PATH, folder);
    TSystemFiles files;
    return DecideWinCgi(false, args, folder, files);
  }();
  return call;
}

namespace {
[[maybe_unused]] const bool g_winCgiDecidedAtStart = WinCgiHost().isWinCgi;
}  // namespace

bool IsWinCgiHost() { return WinCgiHost().isWinCgi; }

bool IsWebHost() { return IsIsapiHost() || IsCgiHost() || IsWinCgiHost(); }

bool IsGuiHost() { return !IsConsoleProgram() && !IsWebHost(); }

}  // namespace vl::hosts
