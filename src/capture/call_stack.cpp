#include "capture/call_stack.h"

#include <cstring>
#include <unordered_map>

#include "capture/call_slot.h"
#include "capture/process_memory.h"
#include "debuginfo/source_info.h"
#include "hooking/import_jump_stub.h"

namespace vl::capture {

namespace {

constexpr size_t SlotSize = sizeof(void*);
constexpr size_t CodeBack = SlotSize == 4 ? 7 : 16;  // bytes looked at before a candidate

uintptr_t FollowStub(uintptr_t target) {
  if (!IsReadable(target, hooking::ImportJumpStubLength)) return target;
  uint64_t slot = 0;
  if (!hooking::DecodeImportJumpStub(reinterpret_cast<const uint8_t*>(target), target,
                                     hooking::NativeCpuMode, slot)) {
    return target;
  }
  const auto at = static_cast<uintptr_t>(slot);
  if (!IsReadable(at, SlotSize)) return target;
  uintptr_t destination;
  std::memcpy(&destination, reinterpret_cast<const void*>(at), SlotSize);
  return destination;
}

void Candidate(uintptr_t v, std::vector<uintptr_t>& out) {
  if (v < CodeBack) return;
  size_t back = CodeBack;
  if (!IsReadable(v - back, back)) {
    back = 7;
    if (!IsReadable(v - back, back)) return;
  }
  const TCallSite site =
      RecognizeCall(reinterpret_cast<const uint8_t*>(v), back, v, hooking::NativeCpuMode);
  switch (site.Form) {
    case TCallForm::cfRelative: {
      const auto target = static_cast<uintptr_t>(site.Target);
      if (!IsReadable(target, 1)) return;
      const uintptr_t resolved = FollowStub(target);
      if (IsReadable(resolved, 5) && *reinterpret_cast<const uint8_t*>(resolved) != 0xE8) {
        out.push_back(resolved);
      }
      out.push_back(v - 5);
      return;
    }
    case TCallForm::cfIndirect:
      out.push_back(v - site.Length);
      return;
    case TCallForm::cfAbsolute:
      if (IsReadable(static_cast<uintptr_t>(site.SlotAddress), SlotSize)) out.push_back(v - 6);
      return;
    default:
      return;
  }
}

TVantorStackList Resolve(const std::vector<uintptr_t>& addresses) {
  // A deep recursion repeats a few addresses thousands of times: each is looked up once.
  std::unordered_map<uintptr_t, int> first;
  TVantorStackList list;
  for (uintptr_t a : addresses) {
    const auto known = first.find(a);
    if (known != first.end()) {
      const TVantorDebugInfo same = list.Items(known->second);
      list.Add(same);
    } else {
      first.emplace(a, list.Count());
      list.Add(GetSourceInfo(a));
    }
  }
  return list;
}

}  // namespace

std::vector<uintptr_t> CallStackAddresses(uintptr_t errorAddress, uintptr_t stackTop,
                                          uintptr_t stackBottom) {
  std::vector<uintptr_t> out;
  if (errorAddress) out.push_back(errorAddress);
  stackTop = (stackTop + SlotSize - 1) & ~(SlotSize - 1);
  size_t readable = 0;  // bytes known readable from the current slot on
  for (uintptr_t slot = stackTop; slot + SlotSize <= stackBottom && slot >= stackTop;
       slot += SlotSize) {
    if (readable < SlotSize) {
      // Tested once per 400 bytes (100 slots of 32-bit code), else slot by slot.
      readable = IsReadable(slot, 400) ? 400 : (IsReadable(slot, SlotSize) ? SlotSize : 0);
      if (readable == 0) continue;
    }
    uintptr_t v;
    std::memcpy(&v, reinterpret_cast<const void*>(slot), SlotSize);
    Candidate(v, out);
    readable -= SlotSize;
  }
  return out;
}

uintptr_t CallerSlot(uintptr_t stackTop, uintptr_t stackBottom, uintptr_t low, uintptr_t high,
                     uintptr_t& callSite) {
  bool inside = false;
  std::vector<uintptr_t> found;
  for (uintptr_t slot = stackTop & ~(SlotSize - 1); slot + SlotSize <= stackBottom;
       slot += SlotSize) {
    if (!IsReadable(slot, SlotSize)) continue;
    uintptr_t v;
    std::memcpy(&v, reinterpret_cast<const void*>(slot), SlotSize);
    found.clear();
    Candidate(v, found);
    if (found.empty()) continue;
    if (v > low && v <= high) {
      inside = true;
    } else if (inside || (low == high && v == low)) {
      callSite = found.back();
      return slot;
    }
  }
  return 0;
}

std::vector<uintptr_t> CallStackAddressesOfCopy(uintptr_t errorAddress, const uint8_t* copy,
                                                size_t size) {
  std::vector<uintptr_t> out;
  if (errorAddress) out.push_back(errorAddress);
  for (size_t i = 0; copy && i + SlotSize <= size; i += SlotSize) {
    uintptr_t v;
    std::memcpy(&v, copy + i, SlotSize);
    Candidate(v, out);
  }
  return out;
}

TVantorStackList GetCallStack(uintptr_t errorAddress, uintptr_t stackTop, uintptr_t stackBottom) {
  return Resolve(CallStackAddresses(errorAddress, stackTop, stackBottom));
}

TVantorStackList GetCallStackOfCopy(uintptr_t errorAddress, const uint8_t* copy, size_t size) {
  return Resolve(CallStackAddressesOfCopy(errorAddress, copy, size));
}

}  // namespace vl::capture
