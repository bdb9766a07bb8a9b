// A program that runs the activation rule on its own module and reports the outcome through its
// exit code: 10 active, 11 inactive, 12 when the inactive state does not refuse the working
// options as it should. Run by the activation tests, with and without a block attached.
//
// With the arguments "restart MARKER": the first instance (no MARKER file yet) creates MARKER,
// moves to another folder and restarts itself; the second writes its command line and current
// folder to MARKER.second. With "library DLL": loads DLL and exits with what its activation
// reports (bit 0 active, bit 1 this executable carries a block).
#include <windows.h>

#include <cstdio>
#include <string>

#include "modules/activation.h"
#include "modules/fake_module_options.h"
#include "modules/module_registry.h"
#include "platform/restart.h"
#include "runtime/exceptions.h"

using namespace vl;

namespace {

int Restart(const std::string& marker) {
  if (GetFileAttributesA(marker.c_str()) != INVALID_FILE_ATTRIBUTES) {
    char folder[MAX_PATH + 1] = {};
    GetCurrentDirectoryA(sizeof folder, folder);
    std::FILE* out = std::fopen((marker + ".second").c_str(), "wb");
    if (!out) return 3;
    std::fprintf(out, "%s\n%s", GetCommandLineA(), folder);
    std::fclose(out);
    return 0;
  }
  std::FILE* f = std::fopen(marker.c_str(), "wb");
  if (!f) return 3;
  std::fclose(f);
  platform::RecordStartFolder();
  char windows[MAX_PATH + 1] = {};
  GetWindowsDirectoryA(windows, sizeof windows);
  SetCurrentDirectoryA(windows);
  platform::RestartOrTerminate(true);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "restart") return Restart(argv[2]);
  if (argc == 3 && std::string(argv[1]) == "library") {
    HMODULE library = LoadLibraryA(argv[2]);
    FARPROC activate = library ? GetProcAddress(library, "ActivateInLibrary") : nullptr;
    if (!activate) return 20;
    return reinterpret_cast<int (*)()>(reinterpret_cast<void*>(activate))();
  }
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
