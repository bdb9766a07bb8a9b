#include "modules/module_type.h"

#include <cstring>

#include "modules/module_file.h"
#include "modules/module_info.h"

namespace modules {

namespace {

// True when [Address, Address + Size) is committed, readable memory.
bool Readable(const void* address, size_t size) {
  const char* p = static_cast<const char*>(address);
  const char* end = p + size;
  while (p < end) {
    MEMORY_BASIC_INFORMATION info = {};
    if (VirtualQuery(p, &info, sizeof info) == 0 || info.State != MEM_COMMIT) return false;
    DWORD prot = info.Protect & 0xFF;
    if (prot == PAGE_NOACCESS || prot == PAGE_EXECUTE || (info.Protect & PAGE_GUARD)) return false;
    p = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
  }
  return true;
}

bool HasPackageResources(const std::string& fileName) {
  HMODULE data = LoadLibraryExA(fileName.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!data) return false;
  bool both = FindResourceA(data, "PACKAGEINFO", MAKEINTRESOURCEA(10)) != nullptr &&
              FindResourceA(data, "PACKAGEOPTIONS", MAKEINTRESOURCEA(10)) != nullptr;
  FreeLibrary(data);
  return both;
}

}  // namespace

uint8_t GetModuleType(HMODULE module) {
  const uint8_t* base = reinterpret_cast<const uint8_t*>(module);
  if (!base || !Readable(base, sizeof(IMAGE_DOS_HEADER))) return mtNotDetermined;
  IMAGE_DOS_HEADER dos;
  std::memcpy(&dos, base, sizeof dos);
  if (dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0 || dos.e_lfanew > 0x10000000)
    return mtNotDetermined;
  const uint8_t* nt = base + dos.e_lfanew;
  if (!Readable(nt, 4 + sizeof(IMAGE_FILE_HEADER))) return mtNotDetermined;
  uint32_t signature;
  std::memcpy(&signature, nt, 4);
  if (signature != IMAGE_NT_SIGNATURE) return mtNotDetermined;
  IMAGE_FILE_HEADER file;
  std::memcpy(&file, nt + 4, sizeof file);
  if (!(file.Characteristics & IMAGE_FILE_DLL)) return mtExecutable;
  return HasPackageResources(GetModuleFileName(module)) ? mtPackage : mtLibrary;
}

}  // namespace modules
