// Facts about a module and its file that the system reports: file name, folder, file size,
// the module that contains the crash reporter itself.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace vl::platform {

// Full path of the module's file; empty when the platform knows none.
std::string GetModuleFileName(HMODULE module);

// The folder of FileName without its trailing backslash; a drive root ("C:\") keeps it.
std::string FolderOf(const std::string& fileName);

// The low 32 bits of the size a find-first-file search on exactly FileName reports; 0 when
// nothing is found.
int32_t GetFileSize(const std::string& fileName);

// The module that contains the crash reporter.
HMODULE CrashReporterModule();

// The module whose memory region holds Address (its allocation base); null when none.
HMODULE ModuleOfAddress(const void* address);

}  // namespace vl::platform
