// A module's options as a plain INI file, for the post-build tool: one key per options field by
// its name ("TellUser=true", "SmtpServerPort=25"), one per customizable text by its group and
// name ("Log/Application Header=..."), and the filter lists as repeated keys
// ("FilterClasses=EAbort", one line per entry). Everything absent keeps its default.
//
// Values: booleans true/false/yes/no/1/0; numbers in decimal or 0x hex; MailMode and
// ThirdButtonAction by number or by name (mmViaServer, tbRestart); SmtpSecurity by name (none,
// starttls, tls); UploadUrl empty or an http:// or https:// address (core/upload_url.h); texts
// either bare (trimmed) or in double quotes, with the escapes \r \n \t \" and \\. A text reference
// that names two texts
// ("Log/Type") means the first; the second is "Log/Type#2". Lines starting with ";" or "#" are
// comments; the section headers [Options] and [Texts] are allowed and change nothing.
#pragma once

#include <string>

#include "core/module_options.h"
#include "runtime/exceptions.h"

namespace vl::tools {

// A line the options file cannot take: "<file>(<line>): <what>".
class EOptionsIniError : public Exception {
 public:
  using Exception::Exception;
};

// Applies the INI text to Options (which should hold the defaults). FileName only names the file
// in messages. Raises EOptionsIniError at the first bad line; Options may then be half applied.
void ApplyOptionsIni(const std::string& text, const std::string& fileName,
                     TVantorModuleOptions& options);

// Every field and text of Options in the form ApplyOptionsIni reads.
std::string WriteOptionsIni(const TVantorModuleOptions& options);

}  // namespace vl::tools
