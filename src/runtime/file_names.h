// Splitting file names into folder and name in the system's ANSI code page. "\" and ":" end a
// folder, but in a double-byte code page (936, the product's own) the second byte of a character
// may be 0x5C, the code of "\": a name is therefore scanned from its start, character by
// character, and only a delimiter that begins a character counts.
//
// The lead-byte test is a procedure variable: none (every character one byte) until the Windows
// runtime installs the system's IsDBCSLeadByte at start-up; portable code and tests may pass
// their own.
#pragma once

#include <cstddef>
#include <string>

namespace vl::rtl {

using TLeadBytePredicate = bool (*)(unsigned char byte);

// The lead-byte test of the process's ANSI code page; null for a single-byte code page.
TLeadBytePredicate AnsiLeadByte();
void SetAnsiLeadByte(TLeadBytePredicate predicate);

// Index just after the last "\" or ":" that begins a character; 0 when there is none.
size_t FileNameStart(const std::string& fileName, TLeadBytePredicate isLeadByte = AnsiLeadByte());
// Index of the extension's "." (the last one after FileNameStart), npos when none.
size_t FileExtStart(const std::string& fileName, TLeadBytePredicate isLeadByte = AnsiLeadByte());

// "C:\App\prog.exe" -> "C:\App\"
std::string ExtractFilePath(const std::string& fileName,
                            TLeadBytePredicate isLeadByte = AnsiLeadByte());
// "C:\App\prog.exe" -> "prog.exe"
std::string ExtractFileName(const std::string& fileName,
                            TLeadBytePredicate isLeadByte = AnsiLeadByte());

}  // namespace vl::rtl
