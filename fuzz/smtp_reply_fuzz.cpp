// A server's reply arrives in pieces of any size: the reply found by feeding the pieces must be
// the one found in the whole text, and reading its code either succeeds or raises the
// conversion error. The first byte chooses where the text is cut.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "delivery/smtp_reply.h"
#include "runtime/exceptions.h"

using namespace vl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  unsigned seed = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t whole = delivery::SmtpReplyLength(text);
  delivery::SmtpReplyScanner scanner;
  size_t at = 0;
  while (at < text.size() && !scanner.Complete()) {
    seed = seed * 1103515245u + 12345u;
    const size_t piece = 1 + (seed >> 16) % 17;
    scanner.Append(text.substr(at, piece));
    at += piece;
  }
  if (scanner.Length() != whole) std::abort();
  if (whole != 0) {
    const std::string_view reply = text.substr(0, whole);
    if (reply.back() != '\n') std::abort();
    try {
      if (delivery::SmtpReplyCode(reply) < 0) std::abort();
    } catch (const EConvertError&) {
    }
  }
  return 0;
}
