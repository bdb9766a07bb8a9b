// Text helpers shared by the report, the dialogs and the web answers.
#pragma once

#include <string>

namespace modules {

// Every CR LF becomes "<br>", then every space "&nbsp;"; nothing else changes.
std::string HtmlEncode(const std::string& text);

// Replaces each occurrence of Old, scanning from the left; replaced text is not scanned again.
// With IsLeadByte (the code page's lead-byte test) a match never starts on the second byte of a
// double-byte character. An empty Old changes nothing.
std::string ReplaceAllText(const std::string& text, const std::string& oldText,
                           const std::string& newText, bool (*isLeadByte)(unsigned char) = nullptr);

}  // namespace modules
