#include "core/text_helpers.h"

namespace vl::core {

std::string HtmlEncode(const std::string& text) {
  return ReplaceAllText(ReplaceAllText(text, "\r\n", "<br>"), " ", "&nbsp;");
}

std::string ReplaceAllText(const std::string& text, const std::string& oldText,
                           const std::string& newText, bool (*isLeadByte)(unsigned char)) {
  if (oldText.empty()) return text;
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text.compare(i, oldText.size(), oldText) == 0) {
      out += newText;
      i += oldText.size();
      continue;
    }
    // Step over a whole character, so that no match begins inside one.
    size_t step =
        (isLeadByte && isLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ? 2
                                                                                               : 1;
    out.append(text, i, step);
    i += step;
  }
  return out;
}

}  // namespace vl::core
