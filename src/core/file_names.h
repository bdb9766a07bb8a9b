// File-name parts with the system's rules: "\" and ":" end a folder, "." starts an extension
// only within the last name. Names are scanned character by character in the ANSI code page
// (see runtime/file_names.h), so the second byte of a double-byte character is never taken for
// a delimiter; IsLeadByte defaults to the process's code page.
#pragma once

#include <string>

#include "runtime/file_names.h"

namespace vl::core {

// "C:\App\prog.exe" -> "C:\App\"
std::string ExtractFilePath(const std::string& fileName,
                            rtl::TLeadBytePredicate isLeadByte = rtl::AnsiLeadByte());
// "C:\App\prog.exe" -> "prog.exe"
std::string ExtractFileName(const std::string& fileName,
                            rtl::TLeadBytePredicate isLeadByte = rtl::AnsiLeadByte());
// "C:\App\prog.exe" -> ".exe"; "" when the name has no extension
std::string ExtractFileExt(const std::string& fileName,
                           rtl::TLeadBytePredicate isLeadByte = rtl::AnsiLeadByte());
// ChangeFileExt("C:\App\prog.exe", ".log") -> "C:\App\prog.log"; appended when none
std::string ChangeFileExt(const std::string& fileName, const std::string& extension,
                          rtl::TLeadBytePredicate isLeadByte = rtl::AnsiLeadByte());

}  // namespace vl::core
