// A server's reply arrives in pieces of any size: the reply found by feeding the pieces must be
// the one found in the whole text, and reading its code either succeeds or raises the
// conversion error. The first byte chooses where the text is cut; when it is 0xFF the text is
// repeated beyond the reply limit and cut in pieces of up to 4 KiB, as the socket reads.
//
// The socket's reply loop is checked too: each reply is read from what the one before left over
// plus further pieces. The replies and what is left are the text, in order, each reply the first
// complete reply of what was left, and a reply that ends within the limit is never refused.
//
// The EHLO keyword test ignores ASCII case, finds a keyword only where the text holds it, and
// always finds one given a line of its own after the text.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "delivery/smtp_reply.h"
#include "fuzz_check.h"
#include "runtime/exceptions.h"

using namespace vl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  unsigned seed = data[0];
  const bool large = seed == 0xFF;
  const std::string once(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string repeated = once;
  while (large && !once.empty() && repeated.size() <= delivery::MaxSmtpReplyBytes + 4096)
    repeated += once;
  const std::string_view text(repeated);
  auto piece = [&seed, large] {
    seed = seed * 1103515245u + 12345u;
    return 1 + (seed >> 16) % (large ? 4096 : 17);
  };

  const size_t whole = delivery::SmtpReplyLength(text);
  delivery::SmtpReplyScanner scanner;
  size_t at = 0;
  while (at < text.size() && !scanner.Complete()) {
    const size_t n = piece();
    scanner.Append(text.substr(at, n));
    at += n;
  }
  Check(scanner.Length() == whole);
  if (whole != 0) {
    const std::string_view reply = text.substr(0, whole);
    Check(reply.back() == '\n');
    try {
      Check(delivery::SmtpReplyCode(reply) >= 0);
    } catch (const EConvertError&) {
    }
  }

  // The EHLO keyword test, for STARTTLS and for a keyword taken from the text itself.
  auto upper = [](std::string t) {
    for (char& c : t)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return t;
  };
  std::string own(once.substr(0, std::min<size_t>(seed % 9, once.size())));
  std::replace(own.begin(), own.end(), '\n', 'x');  // a keyword is part of one line
  for (const std::string& keyword : {std::string("STARTTLS"), own}) {
    const std::string sample = once.substr(0, 4096);
    const bool offered = delivery::EhloOffers(sample, keyword);
    Check(offered == delivery::EhloOffers(upper(sample), upper(keyword)));
    if (offered) Check(upper(sample).find(upper(keyword)) != std::string::npos);
    std::string more = sample;
    if (!more.empty() && more.back() != '\n') more += "\n";
    Check(delivery::EhloOffers(more + "250 " + keyword + "\r\n", keyword));
  }

  // The reply loop (TVantorClientSocket::ReadReply without the socket).
  std::string held;
  size_t fed = 0, consumed = 0;
  for (int replies = 0; replies < 64; ++replies) {
    delivery::SmtpReplyScanner reader;
    reader.Append(held);
    while (!reader.Complete() && !reader.Overflow() && fed < text.size()) {
      const size_t n = piece();
      reader.Append(text.substr(fed, n));
      fed = std::min(text.size(), fed + n);
    }
    // The first reply of what was left, as far as the reader received it.
    const size_t expected =
        delivery::SmtpReplyLength(text.substr(consumed, reader.Received().size()));
    Check(reader.Received() == text.substr(consumed, fed - consumed));
    if (reader.Overflow()) Check(expected == 0 || expected > delivery::MaxSmtpReplyBytes);
    if (!reader.Complete()) {
      Check(expected == 0 || reader.Overflow());
      break;
    }
    Check(reader.Length() == expected);
    held = reader.Received().substr(reader.Length());
    consumed += reader.Length();
  }
  return 0;
}
