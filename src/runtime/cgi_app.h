// A CGI web application: one request per process, read from the environment the web server
// set ("REQUEST_METHOD", "QUERY_STRING", "PATH_INFO"), answered on standard output. The request
// handler fills a response that is written after it returned; when it raises, the
// application's CGIHandleException answers with its own 500 page instead.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "runtime/web_answer.h"

namespace vl::CGIApp {

class TCGIApplication {
 public:
  TCGIApplication() = default;
  TCGIApplication(const TCGIApplication&) = delete;
  TCGIApplication& operator=(const TCGIApplication&) = delete;

  std::function<void(const HTTPApp::TWebRequest&, HTTPApp::TWebResponse&)> OnRequest;

  // Serves the one request: builds it from the environment, runs OnRequest under the
  // application's exception handling and writes the answer. True when an answer was written
  // completely.
  bool Run();

  // Handles the exception being handled on this thread (call from a catch block): writes the
  // framework's 500 answer with the exception's class and message to standard output; an
  // EAbort writes nothing. A crash reporter redirects this routine by its qualified name.
  __attribute__((noipa)) void CGIHandleException(void* sender);

  // Writes Text completely to standard output (partial writes are continued).
  static bool WriteOutput(const std::string& text);

 private:
  bool FAnswered = false;
};

// The CGI answer's bytes: "Status: <code> <reason>\r\n" and the content headers, then the
// content.
std::string CGIAnswer(const HTTPApp::TWebResponse& response);

}  // namespace vl::CGIApp
