#include "modules/module_type.h"

#include "modules/module_info.h"
#include "platform/module_file.h"
#include "runtime/memory_access.h"

namespace vl::modules {

namespace {

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
  if (!module) return mtNotDetermined;
  const binary::TPeView view = rtl::LoadedImageView(module);
  if (!view.Ok()) return mtNotDetermined;
  if (!view.IsDll()) return mtExecutable;
  return HasPackageResources(platform::GetModuleFileName(module)) ? mtPackage : mtLibrary;
}

}  // namespace vl::modules
