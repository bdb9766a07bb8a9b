#include "binary/checked_reader.h"

namespace vl::binary {

std::string HexText(uint64_t value) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  do {
    text.insert(text.begin(), digits[value & 15]);
    value >>= 4;
  } while (value != 0);
  return "0x" + text;
}

std::string ReadFailureMessage(const char* region, size_t position, size_t remaining,
                               uint64_t needed, TReadFailure failure, const char* what) {
  std::string message = what ? std::string(what) + ": " : std::string();
  if (failure == TReadFailure::rfPastEnd) {
    return message + std::to_string(needed) + " bytes needed at offset " + HexText(position) +
           " of " + region + ", " + std::to_string(remaining) + " left";
  }
  return message + region + " at offset " + HexText(position) + ": " + FailureText(failure);
}

}  // namespace vl::binary
