#include "platform/module_file.h"

#include "runtime/file_names.h"

namespace vl::platform {

std::string GetModuleFileName(HMODULE module) {
  if (!module) return "";
  char path[MAX_PATH + 1] = {};
  DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return "";
  return std::string(path, n);
}

std::string FolderOf(const std::string& fileName) {
  // The last "\\" that begins a character of the ANSI code page.
  size_t start = rtl::FileNameStart(fileName);
  if (start == 0 || fileName[start - 1] != '\\') return "";
  size_t slash = start - 1;
  // "C:\file" keeps the root's backslash; "C:\dir\file" loses the one before the name.
  if (slash == 2 && fileName.size() > 1 && fileName[1] == ':') return fileName.substr(0, 3);
  return fileName.substr(0, slash);
}

int32_t GetFileSize(const std::string& fileName) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(fileName.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  FindClose(find);
  return static_cast<int32_t>(data.nFileSizeLow);
}

HMODULE CrashReporterModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&CrashReporterModule), &module);
  return module;
}

HMODULE ModuleOfAddress(const void* address) {
  MEMORY_BASIC_INFORMATION info = {};
  if (!address || VirtualQuery(address, &info, sizeof info) == 0) return nullptr;
  return static_cast<HMODULE>(info.AllocationBase);
}

}  // namespace vl::platform
