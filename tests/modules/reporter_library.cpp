// A library that carries the crash reporter: the activation rule run inside a library, where it
// also notes whether the main executable carries a block.
#include <windows.h>

#include "modules/activation.h"
#include "modules/fake_module_options.h"

using namespace vl;

// Bit 0: active; bit 1: the main executable carries a block.
extern "C" __declspec(dllexport) int ActivateInLibrary() {
  testsupport::ConnectFakeOptions();
  modules::TActivation activation = modules::ActivateModules();
  return (activation.Active ? 1 : 0) | (activation.MainExecutableHasBlock ? 2 : 0);
}
