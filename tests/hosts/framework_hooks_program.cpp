// A program whose host-framework handlers are redirected (it carries a data block with its
// debug information). The pretend exception manager logs each call to LOG and answers as the
// mode says ("report": the reporter handled it; "pass": the framework handles it too;
// "raise": the manager itself fails).
//   framework_hooks_program LOG gui-report|gui-pass|gui-handler-raises
//   framework_hooks_program LOG cgi-report|cgi-pass          (answer on standard output)
//   framework_hooks_program LOG service-report|service-pass|service-outside
// Writes "hooks=<n>" first; service sink lines are "sink <type>: <message>".
#include <windows.h>

#include <fstream>
#include <stdexcept>

#include "hosts/framework_hooks.h"
#include "modules/module_registry.h"
#include "runtime/application.h"
#include "runtime/cgi_app.h"
#include "runtime/command_line.h"
#include "runtime/exceptions.h"
#include "runtime/service.h"
#include "runtime/system.h"

using namespace vl;

namespace {

std::string g_log, g_mode;

void Log(const std::string& line) {
  std::ofstream(g_log, std::ios::app | std::ios::binary) << line << "\n";
}

bool Manager() {
  std::exception_ptr error = std::current_exception();
  Log("manager " + rtl::ExceptionClassName(error) + ": " + rtl::ExceptionMessage(error));
  return g_mode.find("pass") != std::string::npos ||
         g_mode.find("handler-raises") != std::string::npos;
}

bool Sink(const std::string&, const std::string& message, WORD type, WORD, DWORD) {
  Log("sink " + std::to_string(type) + ": " + message);
  return true;
}

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP) {
    PostMessageA(window, WM_APP + 1, 0, 0);
    throw EConvertError("'<12x>' is not a valid integer value");
  }
  if (message == WM_APP + 1) {
    DestroyWindow(window);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

class TQuietService : public SvcMgr::TService {
 public:
  using TService::TService;

 protected:
  void Execute() override {}
};

void MainBlock() {
  auto args = rtl::SplitCommandLine(GetCommandLineA());
  g_log = args.size() > 1 ? args[1] : "hooks.log";
  g_mode = args.size() > 2 ? args[2] : "";
  modules::CreateModulesList();
  modules::RegisterModule(GetModuleHandleA(nullptr));
  hosts::Seams().ExceptionManager = Manager;
  Log("hooks=" + std::to_string(hosts::InstallFrameworkHooks()));

  if (g_mode.rfind("gui", 0) == 0) {
    Forms::Application->SetTitle("Framework Hooks Test");
    if (g_mode == "gui-handler-raises")
      Forms::Application->OnException = [](void*, std::exception_ptr) {
        throw std::runtime_error("handler failure");
      };
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Forms::GuardedWndProc<FormProc>;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "THookedForm";
    RegisterClassA(&wc);
    HWND form = CreateWindowExA(0, wc.lpszClassName, "Hooked form", WS_OVERLAPPEDWINDOW, 10, 10,
                                200, 100, nullptr, nullptr, wc.hInstance, nullptr);
    ShowWindow(form, SW_SHOWNORMAL);
    Forms::Application->MainForm = form;
    PostMessageA(form, WM_APP, 0, 0);
    Forms::Application->Run();
  } else if (g_mode.rfind("cgi", 0) == 0) {
    CGIApp::TCGIApplication app;
    app.OnRequest = [](const HTTPApp::TWebRequest&, HTTPApp::TWebResponse&) {
      throw EConvertError("cgi failure");
    };
    app.Run();
  } else if (g_mode.rfind("service", 0) == 0) {
    SvcMgr::EventLogSink = Sink;
    TQuietService service("VlHookedService");
    if (g_mode == "service-outside") {
      service.LogMessage("plain information");
    } else {
      try {
        throw EConvertError("service failure");
      } catch (...) {
        service.LogMessage("service failure", EVENTLOG_ERROR_TYPE, 0, 0);
      }
    }
  }
  Log("end");
}

}  // namespace

int main() { rtl::RunProgram(MainBlock); }
