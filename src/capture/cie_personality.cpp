#include "capture/cie_personality.h"

#include <cstring>

namespace vl::capture {

bool CieOfFde(const uint8_t* fdeStart, size_t size, uint64_t fdeAddress, uint64_t& cieAddress) {
  TEhReader r(fdeStart, size, fdeAddress, 4);
  uint64_t length = r.Fixed(4, false);
  uint64_t delta = r.Fixed(4, false);
  if (!r.Ok() || length == 0xFFFFFFFFu || length < 4 || delta == 0) return false;
  cieAddress = (fdeAddress + 4 - delta) & (fdeAddress > 0xFFFFFFFFu ? ~uint64_t{0} : 0xFFFFFFFFu);
  return true;
}

bool CiePersonality(const uint8_t* cie, size_t size, uint64_t address, unsigned pointerSize,
                    TPointerReader& reader, uint64_t& personality) {
  personality = 0;
  TEhReader r(cie, size, address, pointerSize);
  uint64_t length = r.Fixed(4, false);
  if (!r.Ok() || length == 0xFFFFFFFFu || length < 5 || length > size - 4) return false;
  TEhReader body(cie, static_cast<size_t>(4 + length), address, pointerSize);
  body.Seek(4);
  if (body.Fixed(4, false) != 0) return false;  // not a CIE
  const uint8_t version = body.U8();
  char augmentation[16];
  size_t n = 0;
  for (;;) {
    uint8_t c = body.U8();
    if (!body.Ok()) return false;
    if (c == 0) break;
    if (n + 1 >= sizeof augmentation) return false;
    augmentation[n++] = static_cast<char>(c);
  }
  augmentation[n] = 0;
  if (n == 0) return true;                   // no augmentation: no personality
  if (augmentation[0] != 'z') return false;  // "eh" and other old forms are not ours
  body.Uleb128();                            // code alignment
  body.Sleb128();                            // data alignment
  if (version == 1) {
    body.U8();
  } else {
    body.Uleb128();
  }
  body.Uleb128();  // augmentation data length
  for (size_t i = 1; i < n && body.Ok(); ++i) {
    switch (augmentation[i]) {
      case 'P': {
        uint8_t encoding = body.U8();
        personality = body.Encoded(encoding, 0, &reader);
        return body.Ok();
      }
      case 'L':
      case 'R':
        body.U8();
        break;
      case 'S':
      case 'B':
        break;
      default:
        return false;
    }
  }
  return body.Ok();
}

}  // namespace vl::capture
