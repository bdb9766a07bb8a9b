// Splitting the recipient text of the options ("a@x.org; b@y.org,c@z.org").
#pragma once

#include <string>
#include <vector>

namespace vl::delivery {

// The text trimmed of blanks and control characters; when not empty and not ending in "," or
// ";" a "," is added; then each "," or ";" ends one entry, trimmed. Two separators in a row give
// an empty entry; an empty text gives none.
std::vector<std::string> SplitAddressList(const std::string& text);

// Text without leading and trailing characters up to the blank (the framework's Trim).
std::string TrimText(const std::string& text);

}  // namespace vl::delivery
