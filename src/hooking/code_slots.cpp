#include "hooking/code_slots.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "hooking/code_writer.h"

namespace vl::hooking {

namespace {

constexpr size_t kBlockSize = 0x10000;
constexpr size_t kSlotsPerBlock = kBlockSize / CodeSlotSize;
// Every byte of a block must be within a rel32 of the routine, with a margin for the instructions
// around the operands.
constexpr uintptr_t kReach = 0x7FF00000u - kBlockSize;

struct TCodeBlock {
  uint8_t* base;
  std::vector<bool> used;
  size_t usedCount;
};

std::vector<TCodeBlock>& Blocks() {
  static auto* blocks = new std::vector<TCodeBlock>();
  return *blocks;
}

bool InReach(uintptr_t block, uintptr_t nearAddress) {
  if (sizeof(void*) == 4) return true;
  uintptr_t distance = block > nearAddress ? block - nearAddress : nearAddress - block;
  return distance <= kReach;
}

uintptr_t AlignDown(uintptr_t value, uintptr_t alignment) { return value - value % alignment; }

uint8_t* TryReserve(uintptr_t address) {
  return static_cast<uint8_t*>(VirtualAlloc(reinterpret_cast<void*>(address), kBlockSize,
                                            MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READ));
}

// Looks for a free region within reach of Near, first below it, then above it.
uint8_t* ReserveNear(uintptr_t nearAddress) {
  SYSTEM_INFO si;
  GetSystemInfo(&si);
  const uintptr_t granularity =
      si.dwAllocationGranularity ? si.dwAllocationGranularity : kBlockSize;
  const uintptr_t lowest = reinterpret_cast<uintptr_t>(si.lpMinimumApplicationAddress);
  const uintptr_t highest = reinterpret_cast<uintptr_t>(si.lpMaximumApplicationAddress);
  const uintptr_t low = nearAddress > lowest + kReach ? nearAddress - kReach : lowest;
  const uintptr_t high = nearAddress < highest - kReach ? nearAddress + kReach : highest;

  MEMORY_BASIC_INFORMATION info;
  for (uintptr_t p = AlignDown(nearAddress, granularity); p >= low && p >= lowest;) {
    if (VirtualQuery(reinterpret_cast<void*>(p), &info, sizeof info) == 0) break;
    uintptr_t base = reinterpret_cast<uintptr_t>(info.BaseAddress);
    uintptr_t end = base + info.RegionSize;
    if (info.State == MEM_FREE && end - base >= kBlockSize) {
      uintptr_t candidate = AlignDown(std::min(p, end - kBlockSize), granularity);
      if (candidate >= base && candidate >= low) {
        if (uint8_t* block = TryReserve(candidate)) return block;
      }
    }
    if (base < granularity) break;
    p = AlignDown(base - 1, granularity);
  }
  for (uintptr_t p = AlignDown(nearAddress, granularity) + granularity; p < high;) {
    if (VirtualQuery(reinterpret_cast<void*>(p), &info, sizeof info) == 0) break;
    uintptr_t base = reinterpret_cast<uintptr_t>(info.BaseAddress);
    uintptr_t end = base + info.RegionSize;
    if (info.State == MEM_FREE && end >= p + kBlockSize && p + kBlockSize <= high) {
      if (uint8_t* block = TryReserve(p)) return block;
    }
    uintptr_t next = AlignDown(end + granularity - 1, granularity);
    if (next <= p) break;
    p = next;
  }
  return nullptr;
}

}  // namespace

uint8_t* AllocateCodeSlot(const void* nearAddress) {
  uintptr_t target = reinterpret_cast<uintptr_t>(nearAddress);
  auto& blocks = Blocks();
  for (auto& block : blocks) {
    uintptr_t base = reinterpret_cast<uintptr_t>(block.base);
    if (block.usedCount == kSlotsPerBlock || !InReach(base, target) ||
        !InReach(base + kBlockSize, target)) {
      continue;
    }
    for (size_t i = 0; i < kSlotsPerBlock; ++i) {
      if (!block.used[i]) {
        block.used[i] = true;
        ++block.usedCount;
        return block.base + i * CodeSlotSize;
      }
    }
  }
  uint8_t* base = sizeof(void*) == 4 ? TryReserve(0) : ReserveNear(target);
  if (!base) return nullptr;
  // Fresh blocks are filled with int3 so that nothing but written trampolines can run there.
  std::vector<uint8_t> fill(kBlockSize, 0xCC);
  if (!WriteCode(base, fill.data(), fill.size())) {
    VirtualFree(base, 0, MEM_RELEASE);
    return nullptr;
  }
  blocks.push_back(TCodeBlock{base, std::vector<bool>(kSlotsPerBlock, false), 1});
  blocks.back().used[0] = true;
  return base;
}

void FreeCodeSlot(uint8_t* slot) {
  if (!slot) return;
  for (auto& block : Blocks()) {
    if (slot < block.base || slot >= block.base + kBlockSize) continue;
    size_t index = static_cast<size_t>(slot - block.base) / CodeSlotSize;
    if (!block.used[index]) return;
    uint8_t fill[CodeSlotSize];
    std::memset(fill, 0xCC, sizeof fill);
    WriteCode(block.base + index * CodeSlotSize, fill, sizeof fill);
    block.used[index] = false;
    --block.usedCount;
    return;
  }
}

}  // namespace vl::hooking
