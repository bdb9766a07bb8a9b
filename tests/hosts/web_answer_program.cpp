// Built twice, as a console program (web_answer_console) and as a GUI program
// (web_answer_gui): tells which host kinds it sees and sends the web error answer.
// Environment: VL_TEST_PAGE - the page to send; VL_TEST_REPORT - file that receives
// "console=<0|1> cgi=.. wincgi=.. isapi=.. web=.. gui=.. result=<0|1> error=<step error>\n".
// Its command line is left alone for the WinCGI parameters.
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "core/internal_errors.h"
#include "hosts/host_kind.h"
#include "hosts/web_error_answer.h"

using namespace vl;

int main() {
  const char* page = std::getenv("VL_TEST_PAGE");
  const char* report = std::getenv("VL_TEST_REPORT");
  if (!report) return 2;
  ClearStepError();
  // VL_TEST_PARTIAL: a part of an answer the program writes before it fails.
  if (const char* partial = std::getenv("VL_TEST_PARTIAL"))
    std::ofstream(hosts::WinCgiHost().outputFile, std::ios::binary) << partial;
  bool result = hosts::SendWebErrorAnswer(page ? page : "", GetCurrentThreadId());
  std::ofstream(report, std::ios::binary)
      << "console=" << hosts::IsConsoleProgram() << " cgi=" << hosts::IsCgiHost()
      << " wincgi=" << hosts::IsWinCgiHost() << " isapi=" << hosts::IsIsapiHost()
      << " web=" << hosts::IsWebHost() << " gui=" << hosts::IsGuiHost() << " result=" << result
      << " error=" << LastStepError().Message << "\n";
  return 0;
}
