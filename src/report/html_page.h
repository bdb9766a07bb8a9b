// The HTML error page that web hosts answer with instead of showing a dialog, and the header
// lines sent before it. One builder for every web answer (CGI, WinCGI, ISAPI).
//
// The caption, the header line and the report are escaped ("&", "<", ">" and the double quote)
// before the layout markup goes in: every CR LF becomes "<br>", then every blank "&nbsp;", so a
// report that quotes HTML (an exception message, a window caption) shows as text and cannot
// inject markup into the answer.
#pragma once

#include <string>

namespace vl::report {

// "&" "<" ">" "\"" as entities; nothing else changes.
std::string EscapeHtml(const std::string& Text);

// Escaped, then CR LF -> "<br>", then blank -> "&nbsp;".
std::string HtmlReportText(const std::string& Text);

// "<html><head><title>" caption "</title></head><body><p><small><font face=\"Lucida
// Console,Courier\">" header line + report "</font></small></p></body></html>".
std::string BuildErrorPage(const std::string& Caption, const std::string& HeaderLine,
                           const std::string& Report);

// "Status: 500 Error\r\n" (WithStatus: CGI and WinCGI only), "Content-Type: text/html\r\n",
// "Content-Length: <bytes of Page>\r\n", "Content:\r\n\r\n".
std::string BuildWebAnswerHeader(const std::string& Page, bool WithStatus);

}  // namespace vl::report
