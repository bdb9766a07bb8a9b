#include "runtime/cgi_app.h"

#include <algorithm>
#include <cstdlib>

#include "runtime/exceptions.h"
#include "runtime/system.h"

namespace vl::CGIApp {

namespace {
std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}
}  // namespace

std::string CGIAnswer(const HTTPApp::TWebResponse& response) {
  return "Status: " + HTTPApp::StatusText(response) + "\r\n" + HTTPApp::ContentHeaders(response) +
         response.Content;
}

bool TCGIApplication::WriteOutput(const std::string& text) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (!out || out == INVALID_HANDLE_VALUE) return false;
  size_t done = 0;
  while (done < text.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 0x10000));
    DWORD written = 0;
    if (!WriteFile(out, text.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

bool TCGIApplication::Run() {
  FAnswered = false;
  try {
    HTTPApp::TWebRequest request;
    request.Method = Environment("REQUEST_METHOD");
    request.QueryString = Environment("QUERY_STRING");
    request.PathInfo = Environment("PATH_INFO");
    HTTPApp::TWebResponse response;
    if (OnRequest) OnRequest(request, response);
    FAnswered = WriteOutput(CGIAnswer(response));
  } catch (...) {
    CGIHandleException(this);
  }
  return FAnswered;
}

void TCGIApplication::CGIHandleException(void* /*sender*/) {
  std::exception_ptr error = std::current_exception();
  if (!error) return;
  try {
    std::rethrow_exception(error);
  } catch (const EAbort&) {
    return;
  } catch (...) {
  }
  FAnswered = WriteOutput(CGIAnswer(
      HTTPApp::ErrorResponse(rtl::ExceptionClassName(error), rtl::ExceptionMessage(error))));
}

}  // namespace vl::CGIApp
