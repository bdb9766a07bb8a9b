#include "debuginfo/find_and_redirect.h"

#include <windows.h>

#include "debuginfo/module_seam.h"
#include "debuginfo/source_info.h"

namespace vl {

void* FindAndRedirect(const std::string& fullName, const std::string& packageFile,
                      const std::string& exportName, void* newProc) {
  void* address = reinterpret_cast<void*>(FindProcAddress(fullName));
  if (address == nullptr) {
    if (HMODULE package = GetModuleHandleA(packageFile.c_str()))
      address = reinterpret_cast<void*>(GetProcAddress(package, exportName.c_str()));
  }
  if (address == nullptr || newProc == nullptr) return address;
  const debuginfo::TSeams& seams = debuginfo::Seams();
  if (seams.RedirectProc == nullptr) return nullptr;
  return seams.RedirectProc(address, newProc, fullName);
}

}  // namespace vl
