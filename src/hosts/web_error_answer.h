// The HTML error answer of a web host, sent instead of a dialog: through the ISAPI request's
// control block, CGI standard output, or the WinCGI output file (host_kind.h decides which).
// The page arrives finished (built and escaped by the notification); a header block
// (web_error_header.h) with its byte length precedes it.
#pragma once

#include <windows.h>

#include <string>

namespace vl::hosts {

// Sends Page for the exception of FaultingThreadId (the notification may run on another
// thread). True when sent, or when the program is no web host (nothing is written). On failure
// false and a step error with eeShowError:
//   ISAPI: "ISAPI: ServerECB = nil" when the faulting thread serves no request,
//          "ISAPI: Cannot send the answer." when the server refused it;
//   CGI: "CGI: Cannot write in the ouput file." when the header or the page was not written;
//   WinCGI: the section "WinCGI" (the output file is not the server's own, or could not be
//           opened or written).
// The WinCGI output file, the server's own (wincgi_call.h), is cut after the answer, so no
// longer partial answer shows through; any other file is neither written nor cut.
bool SendWebErrorAnswer(const std::string& page, DWORD faultingThreadId);

}  // namespace vl::hosts
