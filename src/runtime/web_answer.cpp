#include "runtime/web_answer.h"

namespace vl::HTTPApp {

std::string HtmlEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string StatusText(const TWebResponse& response) {
  return std::to_string(response.StatusCode) + " " + response.ReasonString;
}

std::string ContentHeaders(const TWebResponse& response) {
  return "Content-Type: " + response.ContentType +
         "\r\nContent-Length: " + std::to_string(response.Content.size()) + "\r\n\r\n";
}

TWebResponse ErrorResponse(const std::string& className, const std::string& message) {
  TWebResponse response;
  response.StatusCode = 500;
  response.ReasonString = "Internal Server Error";
  response.Content =
      "<html><head><title>Internal Server Error</title></head><body>"
      "<h1>Internal Server Error</h1><p>" +
      HtmlEscape(className) + ": " + HtmlEscape(message) + "</p></body></html>";
  return response;
}

}  // namespace vl::HTTPApp
