// An ISAPI extension on the runtime's ISAPI application. Its unit sets the request handler:
//   query "raise" - raises an error whose message needs escaping
//   query "slow"  - answers "slow done" after 400 ms (so other requests run meanwhile)
//   otherwise     - answers "Hello, <method> <query>"
#include <windows.h>

#include "runtime/exceptions.h"
#include "runtime/isapi_app.h"
#include "runtime/system.h"

using namespace vl;

namespace {

void InitExtension() {
  ISAPIApp::Application->OnRequest = [](const HTTPApp::TWebRequest& request,
                                        HTTPApp::TWebResponse& response) {
    if (request.QueryString == "raise") {
      Sleep(100);
      throw EConvertError("'<script>' is not a \"valid\" integer & value");
    }
    if (request.QueryString == "slow") {
      Sleep(400);
      response.Content = "slow done";
      return;
    }
    response.ContentType = "text/plain";
    response.Content = "Hello, " + request.Method + " " + request.QueryString;
  };
}

VL_UNIT_REGISTRATION const rtl::UnitRegistration kExtensionUnit("Extension", rtl::UnitOrderProgram, InitExtension,
                                           nullptr);

}  // namespace
