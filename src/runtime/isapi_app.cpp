#include "runtime/isapi_app.h"

#include <cstring>

#include "runtime/exceptions.h"
#include "runtime/system.h"

namespace vl::ISAPIApp {

TISAPIApplication* Application = nullptr;

namespace {

void InitISAPIApp() { Application = new TISAPIApplication(); }
void DoneISAPIApp() {
  delete Application;
  Application = nullptr;
}
VL_UNIT_REGISTRATION const rtl::UnitRegistration kISAPIAppUnit("ISAPIApp", rtl::UnitOrderRuntime,
                                                               InitISAPIApp, DoneISAPIApp);

std::string Text(const char* s) { return s ? s : ""; }

}  // namespace

bool TISAPIApplication::SendResponse(EXTENSION_CONTROL_BLOCK* ecb,
                                     const HTTPApp::TWebResponse& response) {
  if (!ecb || !ecb->ServerSupportFunction || !ecb->WriteClient) return false;
  ecb->dwHttpStatusCode = static_cast<DWORD>(response.StatusCode);
  std::string status = HTTPApp::StatusText(response);
  std::string headers = HTTPApp::ContentHeaders(response);
  DWORD headerSize = static_cast<DWORD>(headers.size());
  if (!ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_SEND_RESPONSE_HEADER, &status[0],
                                  &headerSize, reinterpret_cast<DWORD*>(&headers[0])))
    return false;
  size_t done = 0;
  while (done < response.Content.size()) {
    DWORD size = static_cast<DWORD>(response.Content.size() - done);
    if (!ecb->WriteClient(ecb->ConnID, const_cast<char*>(response.Content.data() + done), &size,
                          0) ||
        size == 0)
      return false;
    done += size;
  }
  return true;
}

DWORD TISAPIApplication::HandleRequest(EXTENSION_CONTROL_BLOCK* ecb) {
  TISAPIRequest request;
  request.ECB = ecb;
  try {
    request.Request.Method = Text(ecb->lpszMethod);
    request.Request.QueryString = Text(ecb->lpszQueryString);
    request.Request.PathInfo = Text(ecb->lpszPathInfo);
    HTTPApp::TWebResponse response;
    if (OnRequest) OnRequest(request.Request, response);
    return SendResponse(ecb, response) ? HSE_STATUS_SUCCESS : HSE_STATUS_ERROR;
  } catch (...) {
    try {
      ISAPIHandleException(&request);
      return HSE_STATUS_SUCCESS;
    } catch (...) {
      return HSE_STATUS_ERROR;
    }
  }
}

void TISAPIApplication::ISAPIHandleException(void* sender) {
  std::exception_ptr error = std::current_exception();
  auto* request = static_cast<TISAPIRequest*>(sender);
  if (!error || !request) return;
  try {
    std::rethrow_exception(error);
  } catch (const EAbort&) {
    return;
  } catch (...) {
  }
  SendResponse(request->ECB, HTTPApp::ErrorResponse(rtl::ExceptionClassName(error),
                                                    rtl::ExceptionMessage(error)));
}

}  // namespace vl::ISAPIApp

extern "C" {

BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* version) {
  if (!version) return FALSE;
  version->dwExtensionVersion = MAKELONG(HSE_VERSION_MINOR, HSE_VERSION_MAJOR);
  const char description[] = "ISAPI application";
  std::memcpy(version->lpszExtensionDesc, description, sizeof description);
  return TRUE;
}

// A crash reporter redirects this export to learn each serving thread's control block.
__attribute__((noipa)) DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* ecb) {
  if (!ecb) return HSE_STATUS_ERROR;
  try {
    if (!vl::ISAPIApp::Application) return HSE_STATUS_ERROR;
    return vl::ISAPIApp::Application->HandleRequest(ecb);
  } catch (...) {
    return HSE_STATUS_ERROR;
  }
}

BOOL WINAPI TerminateExtension(DWORD /*flags*/) { return TRUE; }
}
