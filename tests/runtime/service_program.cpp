// A service on the runtime's TService:
//   service_program LOG raise  - Execute raises an error (its message goes to the event log)
//   service_program LOG run    - Execute waits for the stop request, then logs "stopped"
// The event-log sink is replaced by one that appends "source|type|category|id|message" lines
// to LOG. Started outside the service control manager it exits with code 3.
#include <windows.h>

#include <fstream>

#include "runtime/command_line.h"
#include "runtime/exceptions.h"
#include "runtime/service.h"
#include "runtime/system.h"

using namespace vl;

namespace {

std::string g_log, g_mode;

bool FileSink(const std::string& source, const std::string& message, WORD type, WORD category,
              DWORD id) {
  std::ofstream(g_log, std::ios::binary | std::ios::app)
      << source << '|' << type << '|' << category << '|' << id << '|' << message << '\n';
  return true;
}

class TTestService : public SvcMgr::TService {
 public:
  using TService::TService;

 protected:
  void Execute() override {
    if (g_mode == "raise") throw EConvertError("'<12x>' is not a valid integer value");
    while (!Terminated()) Sleep(20);
    LogMessage("stopped");
  }
};

void MainBlock() {
  auto args = rtl::SplitCommandLine(GetCommandLineA());
  if (args.size() < 3) rtl::Halt(2);
  g_log = args[1];
  g_mode = args[2];
  SvcMgr::EventLogSink = FileSink;
  TTestService service("VlRuntimeTestService");
  if (!service.Run()) rtl::Halt(3);
}

}  // namespace

int main() { rtl::RunProgram(MainBlock); }
