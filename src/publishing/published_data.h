// What this module publishes for the other modules of the process in its virtual files: its
// options ("MODULE") and the last error it handled ("EXCEPT"); and reading another module's
// "EXCEPT" block.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace vl::publishing {

// Creates this module's "EXCEPT" and "MODULE" virtual files, one data byte each, set to 0.
void CreateOwnVirtualFiles();
// Deletes them (shut-down).
void DeleteOwnVirtualFiles();

// Replaces this module's "MODULE" virtual file with the flag byte 1 followed by OptionsStream
// (the options object's stream; its publishing change handler calls this).
void PublishModuleOptions(const uint8_t* optionsStream, size_t size);

// Replaces this module's "EXCEPT" virtual file with the flag byte 1, the error's class name
// ("Unknown exception type." without an error) and its message ("Unknown error message." when
// it is not an Exception), each as a 32-bit length and the bytes; a string whose first CR LF
// ends it loses that CR LF.
void PublishException(std::exception_ptr error);

// The same record from a class name and message already at hand, for the raise hook: no
// rethrow, and the view stays open between calls (rewritten in place while the record fits).
// Never raises; a record that cannot be written is dropped.
void PublishExceptionText(std::string_view className, std::string_view message) noexcept;

// Reads the "EXCEPT" virtual file of Module: when it exists and its flag byte is 1, takes the
// two strings (bounded by the block's size) and sets the flag byte to 0. False otherwise.
bool ReadPublishedException(HMODULE module, std::string& className, std::string& message);

// The string as it is written to "EXCEPT".
std::string PublishedText(const std::string& text);

}  // namespace vl::publishing
