// Small text rules every part of the report shares: hexadecimal numbers of a fixed width, the
// cleaning of one-line values, the file-name split, and the shrinking of blank-line runs that
// keeps one report one log entry.
#pragma once

#include <cstdint>
#include <string>

namespace vl::report {

// Value as Digits upper-case hexadecimal digits (leading zeros kept; higher digits dropped).
std::string HexText(uint64_t Value, int Digits);

// Every character below 32 (CR and LF included) becomes one space, so the value stays on one line.
std::string CleanControlChars(const std::string& Text);

// The part after the last "\", "/" or ":" (the whole text when there is none).
std::string FileNameOf(const std::string& Path);

// The folder of Path without the trailing "\", except that a drive root keeps it ("C:\").
// Empty when Path names no folder.
std::string FolderOf(const std::string& Path);

// Every run of three or more line breaks (CR LF, a lone CR or a lone LF each count as one)
// becomes one empty line ("\r\n\r\n"); shorter runs stay as they are.
std::string ShrinkLineBreaks(const std::string& Text);

// Text without leading and trailing characters up to and including the blank.
std::string TrimText(const std::string& Text);

}  // namespace vl::report
