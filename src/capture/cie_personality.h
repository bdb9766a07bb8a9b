// The personality routine named by a DWARF call-frame entry: the 32-bit handled test asks the
// unwinder for a frame's FDE and reads the personality from the FDE's CIE, to count only frames
// of this module's C++ personality. Pure byte work over a bounded range.
#pragma once

#include <cstddef>
#include <cstdint>

#include "capture/eh_encoding.h"

namespace vl::capture {

// Offset of the CIE from an FDE: the FDE's second word, counted back from that word's address.
// False for a 64-bit-length FDE or a zero word (that is a CIE, not an FDE).
bool CieOfFde(const uint8_t* fdeStart, size_t size, uint64_t fdeAddress, uint64_t& cieAddress);

// Reads the CIE that starts (at its length word) at Cie[0], which lies at run-time address
// Address. Personality := the routine's address, or 0 when the CIE names none. False for a
// malformed or unsupported CIE.
bool CiePersonality(const uint8_t* cie, size_t size, uint64_t address, unsigned pointerSize,
                    TPointerReader& reader, uint64_t& personality);

}  // namespace vl::capture
