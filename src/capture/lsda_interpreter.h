// The handled test's view of one frame of GCC-compiled C++: what the frame's language-specific
// data area (the table the C++ personality routine reads) says the frame will do with a thrown
// object at a given code address. The same table format serves both widths (the DWARF-2
// unwinder's FDE points to it on 32-bit, the function's SEH handler data is it on 64-bit).
//
// The decisions follow the runtime's personality routine: an address not listed in the call-site
// table ends in std::terminate; a listed address without landing pad does nothing; a landing pad
// without action runs cleanups only; a null type entry catches everything; a typed entry catches
// when the caller's matcher says the thrown object converts. A dynamic throw list (C++03
// "throw(A, B)") lets a raise of a listed type pass on, tested by the same matcher; any other
// raise, and any raise through the empty list "throw()", ends in std::terminate.
// The personality itself is never called: on a match it would start the real unwind.
#pragma once

#include <cstddef>
#include <cstdint>

#include "capture/eh_encoding.h"

namespace vl::capture {

enum class TLsdaVerdict {
  lvNothing,     // the address is listed without landing pad: the frame neither catches nor cleans
  lvCleanup,     // only cleanups (destructors) run, or a throw list lets the raise pass; the
                 // search goes on outwards
  lvCatchAll,    // catch (...)
  lvCatchTyped,  // a typed handler accepts the thrown object
  lvTerminate,   // not listed, or a throw list that names no type of the raise: the runtime
                 // calls std::terminate
  lvMalformed,   // the table could not be read within its bounds
};

// What the interpreter needs beyond the table's bytes: pointer reads (indirect type entries) and
// the type test, done by the caller with the thrown object's std::type_info.
class TLsdaContext : public TPointerReader {
 public:
  // True when a handler for the type whose std::type_info lies at TypeInfo catches the thrown
  // object (also asked for each type of a throw list).
  virtual bool Catches(uint64_t typeInfo) = 0;
};

struct TLsdaFrame {
  const uint8_t* Table = nullptr;  // the table's bytes as far as they may be read
  size_t Size = 0;
  uint64_t TableAddress = 0;  // run-time address of Table[0]
  uint64_t RegionStart = 0;   // the function's (or function part's) first byte
  uint64_t Ip = 0;            // the address looked up: a return address minus one
  unsigned PointerSize = sizeof(void*);
};

// Upper bound of action records followed for one address, and of the types of one throw list
// (a table whose records loop is malformed).
constexpr unsigned MaxLsdaActions = 256;

TLsdaVerdict InterpretLsda(const TLsdaFrame& frame, TLsdaContext& context);

}  // namespace vl::capture
