// The HTML escaper and the web hosts' error pages: whatever the caption, the header line and the
// report hold (the input, cut at 0xFF bytes), the text comes back exactly from what was written,
// and no markup but the page's own gets in. Checked:
// - the escaped text and the report text hold no "<", ">", "\"" or "&" outside the entities
//   (the report text: no blank, no CR LF, "<br>" only for CR LF) and decode back to the input;
// - the error page is its fixed frame around the escaped caption and the report text, and its
//   header's Content-Length is the page's size;
// - the runtime's own error answer holds the markup of an empty one and nothing more.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "report/html_page.h"
#include "runtime/web_answer.h"

using namespace vl;

namespace {

// Reverses the escape (and, for the report text, "<br>" and "&nbsp;"); any other "&", "<", ">",
// "\"" (and for the report text a blank or CR LF) fails.
bool Decode(std::string_view html, bool reportText, std::string& text) {
  static const struct {
    std::string_view from, to;
    bool report;
  } kEntities[] = {{"&amp;", "&", false},   {"&lt;", "<", false},   {"&gt;", ">", false},
                   {"&quot;", "\"", false}, {"<br>", "\r\n", true}, {"&nbsp;", " ", true}};
  text.clear();
  while (!html.empty()) {
    bool matched = false;
    for (const auto& e : kEntities) {
      if ((reportText || !e.report) && html.substr(0, e.from.size()) == e.from) {
        text += e.to;
        html.remove_prefix(e.from.size());
        matched = true;
        break;
      }
    }
    if (matched) continue;
    const char c = html[0];
    if (c == '&' || c == '<' || c == '>' || c == '"') return false;
    if (reportText && (c == ' ' || html.substr(0, 2) == "\r\n")) return false;
    text += c;
    html.remove_prefix(1);
  }
  return true;
}

std::string Field(std::string_view& rest) {
  const size_t cut = rest.find('\xFF');
  std::string field(rest.substr(0, cut));
  rest.remove_prefix(cut == std::string_view::npos ? rest.size() : cut + 1);
  return field;
}

size_t Count(const std::string& text, char c) {
  size_t n = 0;
  for (char x : text) n += x == c;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  const std::string caption = Field(rest), header = Field(rest), report(rest);
  std::string decoded;

  Check(Decode(report::EscapeHtml(report), false, decoded) && decoded == report);
  const std::string text = report::HtmlReportText(header + report);
  Check(Decode(text, true, decoded) && decoded == header + report);

  const std::string page = report::BuildErrorPage(caption, header, report);
  const std::string head = "<html><head><title>";
  const std::string middle =
      "</title></head><body><p><small><font face=\"Lucida Console,Courier\">";
  const std::string tail = "</font></small></p></body></html>";
  const size_t titleEnd = page.find(middle);
  Check(page.compare(0, head.size(), head) == 0 && titleEnd != std::string::npos &&
        page.size() >= titleEnd + middle.size() + tail.size() &&
        page.compare(page.size() - tail.size(), tail.size(), tail) == 0);
  Check(
      Decode(std::string_view(page).substr(head.size(), titleEnd - head.size()), false, decoded) &&
      decoded == caption);
  const size_t body = titleEnd + middle.size();
  Check(page.substr(body, page.size() - tail.size() - body) == text);
  const std::string answer = report::BuildWebAnswerHeader(page, size % 2 == 0);
  Check(answer.find("\r\nContent-Length: " + std::to_string(page.size()) + "\r\n") !=
        std::string::npos);

  const std::string content = HTTPApp::ErrorResponse(caption, report).Content;
  const std::string empty = HTTPApp::ErrorResponse("", "").Content;
  Check(Count(content, '<') == Count(empty, '<') && Count(content, '>') == Count(empty, '>'));
  return 0;
}
