// File-name parts with the system's rules: "\" and ":" end a folder, "." starts an extension
// only within the last name.
#pragma once

#include <string>

namespace core {

// "C:\App\prog.exe" -> "C:\App\"
std::string ExtractFilePath(const std::string& fileName);
// "C:\App\prog.exe" -> "prog.exe"
std::string ExtractFileName(const std::string& fileName);
// "C:\App\prog.exe" -> ".exe"; "" when the name has no extension
std::string ExtractFileExt(const std::string& fileName);
// ChangeFileExt("C:\App\prog.exe", ".log") -> "C:\App\prog.log"; appended when none
std::string ChangeFileExt(const std::string& fileName, const std::string& extension);

}  // namespace core
