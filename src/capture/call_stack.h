// The call-stack walk: every stack slot between two addresses whose value is the return address
// of a call instruction (call_slot.h) becomes one or two entries, innermost first: the called
// routine when a relative call names it, and the call site. Needs no frame pointers and no
// unwind tables. Slots are 4 bytes on 32-bit and 8 bytes on 64-bit code; the code bytes before
// each candidate are read only when readable, so unreadable stack pages and wild values are
// passed over.
//
// The same walk runs over a copy of a stack (a thread's creator stack, a frozen thread's stack):
// the slots come from the copy, the code from the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "debuginfo/debug_info.h"

namespace vl::capture {

// An owning list of resolved addresses (copies), innermost call first.
class TVantorStackList {
 public:
  void Add(const TVantorDebugInfo& info) { FItems.push_back(info); }
  void Delete(int index) { FItems.erase(FItems.begin() + index); }
  const TVantorDebugInfo& Items(int index) const { return FItems[static_cast<size_t>(index)]; }
  int Count() const { return static_cast<int>(FItems.size()); }
  void Clear() { FItems.clear(); }

 private:
  std::vector<TVantorDebugInfo> FItems;
};

// The raw addresses the walk finds, innermost first (ErrorAddress first when not 0).
std::vector<uintptr_t> CallStackAddresses(uintptr_t errorAddress, uintptr_t stackTop,
                                          uintptr_t stackBottom);
// The same over Size bytes of a stack copy.
std::vector<uintptr_t> CallStackAddressesOfCopy(uintptr_t errorAddress, const uint8_t* copy,
                                                size_t size);

// Where the caller of a routine left its return address: the first stack slot from StackTop
// (towards StackBottom) holding a return address outside [Low, High) that lies above a slot
// holding one inside it (a return into the routine, or into its module). Returns the slot and
// sets CallSite to the calling instruction; 0 when none is found. With Low == High: the first slot
// holding exactly the return address Low (a caller whose return address is known).
uintptr_t CallerSlot(uintptr_t stackTop, uintptr_t stackBottom, uintptr_t low, uintptr_t high,
                     uintptr_t& callSite);

// Each address resolved with GetSourceInfo.
TVantorStackList GetCallStack(uintptr_t errorAddress, uintptr_t stackTop, uintptr_t stackBottom);
TVantorStackList GetCallStackOfCopy(uintptr_t errorAddress, const uint8_t* copy, size_t size);

}  // namespace vl::capture
