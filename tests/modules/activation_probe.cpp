// A program that runs the activation rule on its own module and reports the outcome through its
// exit code: 10 active, 11 inactive, 12 when the inactive state does not refuse the working
// options as it should. Run by the activation tests, with and without a block attached.
#include <cstdio>

#include "modules/activation.h"
#include "modules/fake_module_options.h"
#include "modules/module_registry.h"
#include "runtime/exceptions.h"

int main() {
  testsupport::ConnectFakeOptions();
  modules::TActivation activation = modules::ActivateModules();
  if (activation.Active) {
    modules::CheckActiveForCurrentOptions();
    modules::TVantorModuleInfo* self =
        modules::ModulesList() ? (*modules::ModulesList())[0] : nullptr;
    std::printf("active %s\n", self ? testsupport::Fake(self->Options)->Text.c_str() : "-");
    return 10;
  }
  std::printf("inactive: %s\n", activation.Reason.c_str());
  if (modules::ModulesList()) return 12;
  try {
    modules::CheckActiveForCurrentOptions();
  } catch (const EAssertionFailed& e) {
    return std::string(e.what()) ==
                   "Cannot use 'CurrentVantorLogOptions' function without VantorLog activate."
               ? 11
               : 12;
  }
  return 12;
}
