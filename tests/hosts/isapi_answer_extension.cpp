// An ISAPI extension whose "HttpExtensionProc" export is redirected so that error answers find
// the faulting thread's request. Its request handler:
//   query "answer"     - sends the web error answer for its own thread, then aborts silently
//   query "background" - a thread of its own (serving no request) tries to send the answer;
//                        the request is answered with "result=<0|1> error=<step error>"
//   query "slow"       - answers "slow done" after 400 ms
#include <windows.h>

#include "core/internal_errors.h"
#include "hosts/isapi_requests.h"
#include "hosts/web_error_answer.h"
#include "runtime/exceptions.h"
#include "runtime/isapi_app.h"
#include "runtime/system.h"

using namespace vl;

namespace {

const char kPage[] = "<html><body>Error &amp; more</body></html>";

DWORD WINAPI Background(void* result) {
  *static_cast<bool*>(result) = hosts::SendWebErrorAnswer(kPage, GetCurrentThreadId());
  return 0;
}

void InitExtension() {
  if (!hosts::InstallHttpExtensionHook()) throw Exception("HttpExtensionProc not redirected");
  ISAPIApp::Application->OnRequest = [](const HTTPApp::TWebRequest& request,
                                        HTTPApp::TWebResponse& response) {
    if (request.QueryString == "answer") {
      Sleep(100);
      hosts::SendWebErrorAnswer(kPage, GetCurrentThreadId());
      throw EAbort();
    }
    if (request.QueryString == "background") {
      bool result = true;
      HANDLE thread = CreateThread(nullptr, 0, Background, &result, 0, nullptr);
      WaitForSingleObject(thread, INFINITE);
      CloseHandle(thread);
      response.Content =
          std::string("result=") + (result ? "1" : "0") + " error=" + LastStepError().Message;
      return;
    }
    Sleep(400);
    response.Content = "slow done";
  };
}

void DoneExtension() { hosts::RemoveHttpExtensionHook(); }

VL_UNIT_REGISTRATION const rtl::UnitRegistration kExtensionUnit("Extension", rtl::UnitOrderProgram, InitExtension,
                                           DoneExtension);

}  // namespace
