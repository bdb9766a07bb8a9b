// The bytes of the "EXCEPT" record that a module publishes for the others: a flag byte (1: a
// record is there, 0: taken or none), then the error's class name and its message, each as a
// 32-bit little-endian length and its bytes. Writing and reading, without the virtual file that
// holds them; a reader must expect any bytes, since another module (or nothing) wrote them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vl::publishing {

// Text as it is published: a CR LF that is the text's first and at its very end is dropped.
std::string_view PublishedView(std::string_view text);

// The bytes the record of these two strings takes, flag byte included (after PublishedView).
size_t ExceptRecordSize(std::string_view className, std::string_view message);

// Writes the record to Out, which holds ExceptRecordSize bytes; the flag byte is set last, so
// that a reader of a shared view never takes a half-written record.
void WriteExceptRecord(uint8_t* out, std::string_view className, std::string_view message);

// Takes the two strings when Size bytes at Data begin with a flag other than 0 and hold both
// whole (any
// bytes after them are ignored). False, with both strings unchanged, otherwise.
bool ReadExceptRecord(const uint8_t* data, size_t size, std::string& className,
                      std::string& message);

}  // namespace vl::publishing
