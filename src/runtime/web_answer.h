// The web frameworks' request, response and answer texts (CGI and ISAPI share them): a request
// handler fills a TWebResponse, which the framework sends only after the handler returned, so
// an exception never leaves half an answer behind; the framework's own error answer is a 500
// with a small HTML page whose text is escaped.
#pragma once

#include <string>

namespace vl::HTTPApp {

struct TWebRequest {
  std::string Method;
  std::string QueryString;
  std::string PathInfo;
};

struct TWebResponse {
  int StatusCode = 200;
  std::string ReasonString = "OK";
  std::string ContentType = "text/html";
  std::string Content;
};

// "& < > \"" as character references; everything else unchanged.
std::string HtmlEscape(const std::string& text);

// "<code> <reason>", the status text of an answer ("500 Internal Server Error").
std::string StatusText(const TWebResponse& response);

// The content headers: "Content-Type: %s\r\nContent-Length: %u\r\n\r\n".
std::string ContentHeaders(const TWebResponse& response);

// The framework's own answer to a request whose handler raised: status 500, an HTML page
// naming the exception's class and message (escaped).
TWebResponse ErrorResponse(const std::string& className, const std::string& message);

}  // namespace vl::HTTPApp
