// Text helpers shared by the report, the dialogs and the web answers.
#pragma once

#include <string>

#include "runtime/file_names.h"

namespace vl::core {

// Every CR LF becomes "<br>", then every space "&nbsp;"; nothing else changes.
std::string HtmlEncode(const std::string& text);

// Replaces each occurrence of Old, scanning from the left; replaced text is not scanned again.
// A match never starts on the second byte of a double-byte character of the code page whose
// lead-byte test IsLeadByte is (by default the process's ANSI code page; null: single-byte).
// An empty Old changes nothing.
std::string ReplaceAllText(const std::string& text, const std::string& oldText,
                           const std::string& newText,
                           rtl::TLeadBytePredicate isLeadByte = rtl::AnsiLeadByte());

}  // namespace vl::core
