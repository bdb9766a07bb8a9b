// An ISAPI web application: a DLL that a web server loads and calls through its exports
// GetExtensionVersion, HttpExtensionProc and TerminateExtension (undecorated names; the exports
// come from isapi_app.def, linked through the rtl_isapi library). Requests arrive on the
// server's worker threads, several at once. The request handler fills a response that is sent
// through the request's extension control block after it returned; when it raises, the
// application's ISAPIHandleException answers that request with its own 500 page. Nothing
// crosses the DLL boundary as an exception (each module has its own unwinder).
#pragma once

#include <windows.h>
// windows.h first: the extension header needs its types.
#include <httpext.h>

#include <functional>
#include <string>

#include "runtime/web_answer.h"

namespace vl::ISAPIApp {

// One request being served: the server's control block and the request read from it.
struct TISAPIRequest {
  EXTENSION_CONTROL_BLOCK* ECB = nullptr;
  HTTPApp::TWebRequest Request;
};

class TISAPIApplication {
 public:
  TISAPIApplication() = default;
  TISAPIApplication(const TISAPIApplication&) = delete;
  TISAPIApplication& operator=(const TISAPIApplication&) = delete;

  // Set by the program's unit initialisation; called on the server's worker threads.
  std::function<void(const HTTPApp::TWebRequest&, HTTPApp::TWebResponse&)> OnRequest;

  // Serves one request (the body of the HttpExtensionProc export). Never raises.
  DWORD HandleRequest(EXTENSION_CONTROL_BLOCK* ecb);

  // Handles the exception being handled on this thread (call from a catch block) for the
  // request Sender (a TISAPIRequest): answers it with the framework's 500 page; an EAbort
  // sends nothing. A crash reporter redirects this routine by its qualified name.
  __attribute__((noipa)) void ISAPIHandleException(void* sender);

  // Sends Response through the control block: status and headers, then the content.
  static bool SendResponse(EXTENSION_CONTROL_BLOCK* ecb, const HTTPApp::TWebResponse& response);
};

// The one application object, created by the "ISAPIApp" unit's initialisation (which runs when
// the DLL is attached) and freed by its finalisation.
extern TISAPIApplication* Application;

}  // namespace vl::ISAPIApp

extern "C" {
BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* version);
DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* ecb);
BOOL WINAPI TerminateExtension(DWORD flags);
}
