// A CGI program on the runtime's CGI application: answers "Hello, <method>" unless the query
// string is "raise", in which case its handler raises an error whose message needs escaping.
#include "runtime/cgi_app.h"
#include "runtime/exceptions.h"
#include "runtime/system.h"

using namespace vl;

namespace {

void MainBlock() {
  CGIApp::TCGIApplication app;
  app.OnRequest = [](const HTTPApp::TWebRequest& request, HTTPApp::TWebResponse& response) {
    if (request.QueryString == "raise")
      throw EConvertError("'<b>12x</b>' is not a \"valid\" integer & value");
    if (request.QueryString == "abort") throw EAbort();
    response.ContentType = "text/plain";
    response.Content = "Hello, " + request.Method + " " + request.PathInfo;
  };
  if (!app.Run()) rtl::Halt(2);
}

}  // namespace

int main() { rtl::RunProgram(MainBlock); }
