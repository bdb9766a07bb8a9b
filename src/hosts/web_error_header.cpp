#include "hosts/web_error_header.h"

namespace vl::hosts {

std::string WebErrorHeader(bool withStatusLine, size_t pageBytes) {
  std::string header = withStatusLine ? "Status: 500 Error\r\n" : "";
  header += "Content-Type: text/html\r\nContent-Length: " + std::to_string(pageBytes) +
            "\r\nContent:\r\n\r\n";
  return header;
}

}  // namespace vl::hosts
