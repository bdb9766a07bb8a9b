// Texts and bytes of the crash reporter's dialogs: the modules page's cells, the message to the
// development environment's mailslot, the request dialog's answer and the progress label.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace dialogs {

// Image-list index of a module by its file's extension: ".BPL"/".DPL" 1, ".EXE" 2, else 0.
int ModuleIconIndex(const std::string& fileName);
// "5.1.2600.2180" -> "5.1.x": up to and including the second ".", then "x"; fewer dots: whole.
std::string ShortVersion(const std::string& version);
// File size in KiB rounded to nearest, ties to even, followed by " Kb".
std::string SizeInKb(uint64_t bytes);
// The folder of a path without its trailing backslash; a drive root ("C:\") keeps it.
std::string ModuleFolder(const std::string& path);
// The file name after the last backslash or slash.
std::string FileNameOnly(const std::string& path);

// The mailslot the development environment listens on.
constexpr const char kMailslotName[] = "\\\\.\\mailslot\\VantorLog";
constexpr size_t kMailslotMessageSize = 2052;
// The jump-to-source message: bytes 0-2047 the unit name, zero-terminated (cut to 2047
// characters), bytes 2048-2051 the line as a 32-bit little-endian number, the rest zero.
// Nothing when the line cell is empty or not a decimal number.
std::optional<std::array<uint8_t, kMailslotMessageSize>> MailslotMessage(
    const std::string& unit, const std::string& lineCell);

// The request dialog's answer: blanks and control characters removed at both ends; inner line
// breaks stay.
std::string TrimRequestText(const std::string& text);

// The progress label: "%s %d/%d: " with the message word, recipient number and count, then the
// step text.
std::string SendProgressText(const std::string& messageWord, int recipient, int recipients,
                             const std::string& step);

}  // namespace dialogs
