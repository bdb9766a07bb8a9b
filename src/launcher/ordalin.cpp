// Ordalin, the handler of the "ordalin://" protocol for the Tessaly client. Every start writes
// the session file; a start with a link forwards it to the client, a start without one registers
// the protocol. Nothing here catches an error: a failure ends the program through the runtime's
// error box with exit code 1.
#include <windows.h>

#include <string>
#include <vector>

#include "launcher/launch_values.h"
#include "launcher/link_forwarding.h"
#include "launcher/link_parameter.h"
#include "launcher/protocol_registration.h"
#include "launcher/session_file.h"
#include "runtime/application.h"
#include "runtime/system.h"

namespace vl {
namespace {

void MainBlock() {
  Forms::Application->Initialize();
  ordalin::WriteSessionFile();
  const std::vector<std::string> arguments = ordalin::ProgramArguments(GetCommandLineA());
  if (!arguments.empty())
    ordalin::ForwardLink(arguments.front());
  else
    ordalin::RegisterProtocol();
  Forms::Application->SetTitle(ordalin::kApplicationTitle);
  Forms::Application->Run();
}

}  // namespace
}  // namespace vl

int main() { vl::rtl::RunProgram(vl::MainBlock); }
