// An ISAPI extension carrying the crash reporter (its own data block). Its request handler
// fails for the query "fail" (after 100 ms, while other requests run) and answers "slow done"
// after 400 ms for any other query.
#include <windows.h>

#include "runtime/exceptions.h"
#include "runtime/isapi_app.h"
#include "runtime/system.h"

using namespace vl;

namespace {

__attribute__((noinline)) void FailInRequest() {
  Sleep(100);
  throw Exception("Request <failed> & stopped.");
}

void InitExtension() {
  ISAPIApp::Application->OnRequest = [](const HTTPApp::TWebRequest& request,
                                        HTTPApp::TWebResponse& response) {
    if (request.QueryString == "fail") FailInRequest();
    Sleep(400);
    response.Content = "slow done";
  };
}

VL_UNIT_REGISTRATION const rtl::UnitRegistration kExtensionUnit("Extension", rtl::UnitOrderProgram,
                                                                InitExtension, nullptr);

}  // namespace
