#include "delivery/socket_seams.h"

namespace vl::delivery {

TSeams& Seams() {
  static TSeams seams;
  return seams;
}

bool IsLoopbackAddress(uint32_t address) {
  // The first byte in memory is the first number of the dotted form.
  return (reinterpret_cast<const unsigned char*>(&address)[0]) == 127;
}

}  // namespace vl::delivery
