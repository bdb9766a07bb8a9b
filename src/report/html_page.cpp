#include "report/html_page.h"

#include "runtime/web_answer.h"

namespace vl::report {

std::string EscapeHtml(const std::string& Text) { return HTTPApp::HtmlEscape(Text); }

std::string HtmlReportText(const std::string& Text) {
  const std::string escaped = EscapeHtml(Text);
  std::string lines;
  lines.reserve(escaped.size());
  for (size_t i = 0; i < escaped.size(); ++i) {
    if (escaped[i] == '\r' && i + 1 < escaped.size() && escaped[i + 1] == '\n') {
      lines += "<br>";
      ++i;
    } else {
      lines += escaped[i];
    }
  }
  std::string out;
  out.reserve(lines.size() + lines.size() / 2);
  for (char c : lines) {
    if (c == ' ') {
      out += "&nbsp;";
    } else {
      out += c;
    }
  }
  return out;
}

std::string BuildErrorPage(const std::string& Caption, const std::string& HeaderLine,
                           const std::string& Report) {
  return "<html><head><title>" + EscapeHtml(Caption) + "</title></head>" + "<body>" +
         "<p><small><font face=\"Lucida Console,Courier\">" + HtmlReportText(HeaderLine + Report) +
         "</font></small></p>" + "</body>" + "</html>";
}

std::string BuildWebAnswerHeader(const std::string& Page, bool WithStatus) {
  std::string out = WithStatus ? "Status: 500 Error\r\n" : "";
  out += "Content-Type: text/html\r\nContent-Length: " + std::to_string(Page.size()) +
         "\r\nContent:\r\n\r\n";
  return out;
}

}  // namespace vl::report
