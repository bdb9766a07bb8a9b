#include "pipeline/pipeline_seams.h"

namespace vl::pipeline {

TSeams& Seams() {
  static TSeams seams;
  return seams;
}

namespace {

// The main executable's PE subsystem is the console's.
bool MainIsConsole() {
  auto* image = reinterpret_cast<const uint8_t*>(GetModuleHandleA(nullptr));
  if (!image) return false;
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return false;
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE) return false;
  return nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI;
}

}  // namespace

THostKind CurrentHostKind() {
  if (Seams().HostKind) return Seams().HostKind();
  return MainIsConsole() ? THostKind::Console : THostKind::Gui;
}

}  // namespace vl::pipeline
