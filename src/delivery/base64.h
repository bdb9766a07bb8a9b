// Base64 as the mail message carries it: the standard alphabet with "=" padding.
#pragma once

#include <string>
#include <string_view>

namespace vl::delivery {

// Lines of at most 80 characters (60 input bytes), every line, the last one too, ended by CR LF.
// An empty input gives an empty text.
std::string EncodeBase64(std::string_view bytes);
// The same lines appended to Out (one allocation at most, no copy of the encoded text).
void AppendBase64(std::string& out, std::string_view bytes);
// One line without any line break (header words and login answers).
std::string EncodeBase64Line(std::string_view bytes);
// Decodes standard Base64, skipping CR and LF; false on any other character outside the alphabet
// or a bad padding.
bool DecodeBase64(std::string_view text, std::string& bytes);

}  // namespace vl::delivery
