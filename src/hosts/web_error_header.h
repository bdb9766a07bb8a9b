// The header block that precedes the HTML error page in a web host's answer.
#pragma once

#include <cstddef>
#include <string>

namespace vl::hosts {

// ("Status: 500 Error\r\n" when WithStatusLine, for CGI and WinCGI) + "Content-Type:
// text/html\r\n" + "Content-Length: <PageBytes>\r\n" + "Content:\r\n\r\n".
std::string WebErrorHeader(bool withStatusLine, size_t pageBytes);

}  // namespace vl::hosts
