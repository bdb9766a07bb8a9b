// Row cells of the detailed view's two lists, the source-jump message of the call-stack list,
// and the texts of the request and progress dialogs. No platform calls.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vl::dialogs {

// Indexes into the lists' four-image list.
enum TListIcon : int { liLibrary = 0, liPackage = 1, liExecutable = 2, liSource = 3 };

// One row of a list: six cells and an icon.
struct TListRow {
  std::array<std::string, 6> Cells;
  int Icon = liLibrary;
};

// ".BPL" or ".DPL" (any case) -> package, ".EXE" -> executable, anything else -> library.
int ModuleIcon(const std::string& fileName);
// The text up to and including its second ".", then "x"; fewer than two dots: unchanged.
std::string ShortVersion(const std::string& version);
// Bytes / 1024 rounded to nearest, ties to even, followed by " Kb".
std::string SizeInKb(int64_t bytes);
// The folder without its trailing backslash; a drive root ("C:\") keeps it.
std::string FileFolder(const std::string& fileName);
// Handle as (at least) 8 upper-case hex digits.
std::string HexHandle(uintptr_t handle);

// Handle, name, description, short version, size, folder.
TListRow ModuleRow(uintptr_t handle, const std::string& fileName, const std::string& description,
                   const std::string& version, int64_t fileSize);

// The mailslot through which the development environment is told to show a source line.
extern const char* const SourceJumpMailslot;  // "\\.\mailslot\VantorLog"
constexpr size_t SourceJumpMessageSize = 2052;
// The 2052-byte message: the unit name zero-terminated in bytes 0-2047 (cut to 2047 bytes),
// the line as a 32-bit little-endian integer in bytes 2048-2051. Empty (nothing to send) when
// the line cell is empty or not a decimal number.
std::vector<uint8_t> SourceJumpMessage(const std::string& unitCell, const std::string& lineCell);

// Leading and trailing blanks and control characters (every byte up to 0x20) removed.
std::string TrimBlanks(const std::string& text);

// "%s %d/%d: " with the message word, the recipient number and count, then the step text.
std::string ProgressStatusText(const std::string& messageWord, int current, int count,
                               const std::string& step);

}  // namespace vl::dialogs
