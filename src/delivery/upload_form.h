// The bytes of a report's upload to a crash-collection server, as Breakpad/Crashpad-compatible
// servers take it (Sentry, Socorro, Backtrace, BugSplat): an HTTP POST of multipart/form-data
// with the minidump in the file field "upload_file_minidump" and text fields beside it. Also the
// installation's identifier and the test that a file is a minidump at all. No system calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vl::delivery {

// One field of the form: a text field when FileName is empty, else a file part.
struct TFormField {
  std::string Name;
  std::string FileName;
  std::string ContentType;  // file parts only; empty: application/octet-stream
  std::string Value;
};

// A boundary that occurs in no value: "VantorLogUpload-" and 16 hex digits from Seed, the next
// seed tried while one of the values holds it.
std::string ChooseFormBoundary(const std::vector<TFormField>& fields, uint64_t seed);

// "multipart/form-data; boundary=<Boundary>", the request's Content-Type.
std::string FormContentType(const std::string& boundary);

// The body: per field "--boundary" CR LF, its Content-Disposition (form-data; name="..."; and
// for a file filename="...") and for a file its Content-Type, a blank line, the value, CR LF;
// then "--boundary--" CR LF. A '"', CR, LF or a byte below 0x20 in a name becomes '_', so no
// name can end its parameter or its header line.
std::string BuildFormBody(const std::vector<TFormField>& fields, const std::string& boundary);

// The fields of a report: upload_file_minidump (file <Module>.dmp), prod (the module's name),
// ver (its version number or ""), guid (the installation), vantorlog_report (file report.txt).
std::vector<TFormField> ReportFormFields(const std::string& module, const std::string& version,
                                         const std::string& guid, const std::string& minidump,
                                         const std::string& report);

// The installation identifier from 16 random bytes: 32 lower-case hex digits in the groups
// 8-4-4-4-12, marked as a random (version 4) identifier.
std::string FormatInstallationGuid(const uint8_t bytes[16]);
// True for a text FormatInstallationGuid can give (any version digits accepted).
bool IsInstallationGuid(const std::string& text);

// True when the bytes begin like a minidump: "MDMP", the format's version 0xA793 in the low
// word, and a stream directory of NumberOfStreams entries of 12 bytes inside the bytes.
bool LooksLikeMinidump(const uint8_t* data, size_t size);

}  // namespace vl::delivery
