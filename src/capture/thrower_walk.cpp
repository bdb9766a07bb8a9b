#include "capture/thrower_walk.h"

#include <cxxabi.h>
#include <unwind.h>
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstring>

#include "capture/cie_personality.h"
#include "capture/lsda_interpreter.h"
#include "capture/process_memory.h"
#include "hooking/code_writer.h"
#include "runtime/system.h"
#include "runtime/thread.h"

namespace vl {

extern "C" {
[[noreturn]] void __real___cxa_throw(void* object, void* type, void (*destructor)(void*));
[[noreturn]] void __wrap___cxa_throw(void* object, void* type, void (*destructor)(void*));
#if defined(__x86_64__)
EXCEPTION_DISPOSITION __gxx_personality_seh0(PEXCEPTION_RECORD, void*, PCONTEXT,
                                             PDISPATCHER_CONTEXT);
#else
_Unwind_Reason_Code __gxx_personality_v0(int, _Unwind_Action, _Unwind_Exception_Class,
                                         _Unwind_Exception*, _Unwind_Context*);
_Unwind_Reason_Code __real___gxx_personality_v0(int, _Unwind_Action, _Unwind_Exception_Class,
                                                _Unwind_Exception*, _Unwind_Context*);
struct dwarf_eh_bases {
  void* tbase;
  void* dbase;
  void* func;
};
const void* _Unwind_Find_FDE(void* pc, dwarf_eh_bases* bases);
#endif
}

namespace capture {

namespace {

constexpr size_t MaxSpecial = 16;

// Fixed-size lists written at start-up (and by the thread registry), read by every raise.
struct TStartList {
  std::atomic<uintptr_t> Items[MaxSpecial] = {};
  std::atomic<unsigned> Count{0};
  void Add(uintptr_t start) {
    if (!start || Contains(start)) return;
    unsigned i = Count.load();
    if (i >= MaxSpecial) return;
    Items[i].store(start);
    Count.store(i + 1);
  }
  bool Contains(uintptr_t start) const {
    const unsigned n = Count.load();
    for (unsigned i = 0; i < n; ++i)
      if (Items[i].load() == start) return true;
    return false;
  }
};

template <typename F>
uintptr_t Address(F* f) {
  return reinterpret_cast<uintptr_t>(f);
}

TStartList& Guards() {
  static TStartList* list = [] {
    auto* l = new TStartList();
    l->Add(Address(&rtl::RunProgram));
    l->Add(Address(&rtl::StartUnits));
    l->Add(Address(&rtl::Halt));
    l->Add(Address(&rtl::ThreadWrapper));
    l->Add(Address(&Classes::TThread::ThreadProc));
    return l;
  }();
  return *list;
}

TStartList& SafecallBoundaries() {
  static TStartList* list = [] {
    auto* l = new TStartList();
    l->Add(Address(&rtl::SafeCall));
    return l;
  }();
  return *list;
}

TStartList& Machinery() {
  static TStartList* list = [] {
    auto* l = new TStartList();
    // A program on the runtime DLLs reaches these through import jump stubs: the routines
    // themselves lie in the DLLs.
    for (void* routine : {reinterpret_cast<void*>(&_Unwind_RaiseException),
                          reinterpret_cast<void*>(&_Unwind_Resume_or_Rethrow),
                          reinterpret_cast<void*>(&__real___cxa_throw),
                          reinterpret_cast<void*>(&__wrap___cxa_throw),
                          reinterpret_cast<void*>(&__cxxabiv1::__cxa_rethrow),
                          reinterpret_cast<void*>(static_cast<void (*)(std::exception_ptr)>(
                              &std::rethrow_exception))}) {
      l->Add(Address(routine));
      l->Add(Address(hooking::FollowImportJumpStub(routine)));
    }
    return l;
  }();
  return *list;
}

// The handler tables' view of the process and of the thrown object.
class TWalkContext : public TLsdaContext {
 public:
  explicit TWalkContext(const TThrownObject& thrown) : FThrown(thrown) {}
  const TThrownObject& Thrown() const { return FThrown; }
  bool ReadPointer(uint64_t address, uint64_t& value) override {
    return FMemory.ReadPointer(address, value);
  }
  bool Catches(uint64_t typeInfo) override {
    const auto at = static_cast<uintptr_t>(typeInfo);
    if (!IsReadable(at, 2 * sizeof(void*))) return false;
    return CatchesThrown(*reinterpret_cast<const std::type_info*>(at), FThrown);
  }

 private:
  const TThrownObject& FThrown;
  TProcessMemory FMemory;
};

// The verdict of one frame's handler table at return address Ip.
TLsdaVerdict FrameVerdict(uintptr_t lsda, uintptr_t regionStart, uintptr_t returnAddress,
                          TWalkContext& context) {
  TLsdaFrame frame;
  frame.Size = ReadableBytes(lsda, 64 * 1024);
  if (frame.Size == 0) return TLsdaVerdict::lvMalformed;
  frame.Table = reinterpret_cast<const uint8_t*>(lsda);
  frame.TableAddress = lsda;
  frame.RegionStart = regionStart;
  frame.Ip = returnAddress - 1;
  frame.PointerSize = sizeof(void*);
  return InterpretLsda(frame, context);
}

// What one frame of the search contributes; true when the search ends there.
bool Decide(TLsdaVerdict verdict, TRaiseWalkResult& result) {
  switch (verdict) {
    case TLsdaVerdict::lvCatchAll:
      result.Handled = true;
      result.FirstKind = THandlerKind::hkCatchAll;
      return true;
    case TLsdaVerdict::lvCatchTyped:
      result.Handled = true;
      result.FirstKind = THandlerKind::hkTyped;
      return true;
    case TLsdaVerdict::lvTerminate:
      result.Handled = false;
      result.Terminates = true;
      return true;
    case TLsdaVerdict::lvMalformed:
      result.Handled = false;
      return true;
    default:
      return false;
  }
}

// Frames of the guards and boundaries; true when the search ends there.
bool SpecialFrame(uintptr_t start, TRaiseWalkResult& result) {
  if (Guards().Contains(start)) {
    result.Handled = false;
    return true;
  }
  if (SafecallBoundaries().Contains(start)) {
    result.Handled = true;
    result.FirstKind = THandlerKind::hkSafeCall;
    return true;
  }
  return false;
}

enum class TPhase { BelowHook, InMachinery, Searching };

#if defined(__x86_64__)

// This module's function table (its exception directory), read once.
struct TOwnFunctionTable {
  uintptr_t Base = 0;
  uintptr_t End = 0;
  const RUNTIME_FUNCTION* Table = nullptr;
  size_t Count = 0;
};

TOwnFunctionTable ReadOwnFunctionTable() {
  TOwnFunctionTable result;
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&ReadOwnFunctionTable), &module)) {
    return result;
  }
  const auto base = reinterpret_cast<uintptr_t>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return result;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE ||
      nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC ||
      nt->OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_EXCEPTION) {
    return result;
  }
  const IMAGE_DATA_DIRECTORY& dir =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXCEPTION];
  const size_t count = dir.Size / sizeof(RUNTIME_FUNCTION);
  if (!dir.VirtualAddress || count == 0) return result;
  const auto* table = reinterpret_cast<const RUNTIME_FUNCTION*>(base + dir.VirtualAddress);
  // Only a sorted table of plain entries is searched here; anything else is left to the system.
  for (size_t i = 0; i < count; ++i) {
    if (table[i].UnwindData & 1) return result;
    if (table[i].BeginAddress >= table[i].EndAddress) return result;
    if (i > 0 && table[i].BeginAddress < table[i - 1].EndAddress) return result;
  }
  result.Base = base;
  result.End = base + nt->OptionalHeader.SizeOfImage;
  result.Table = table;
  result.Count = count;
  return result;
}

const TOwnFunctionTable& OwnFunctionTable() {
  static const TOwnFunctionTable table = ReadOwnFunctionTable();
  return table;
}

constexpr size_t EntryCacheSlots = 256;
std::atomic<uint64_t> g_entryCache[EntryCacheSlots];

// True when the code at a return address could be read as an epilogue (an add to or lea of RSP,
// a pop, a return, an indirect jump or a jump out of the function): the system unwinds such a
// frame as the epilogue would, so it is left to the system. GCC puts a nop after a call that an
// epilogue follows, so the return addresses of its frames rarely look like this.
bool MayBeEpilog(uintptr_t pc, uintptr_t begin, uintptr_t end) {
  const auto* code = reinterpret_cast<const uint8_t*>(pc);
  const uint8_t b = code[0];
  if ((b >= 0x58 && b <= 0x5F) || b == 0xC2 || b == 0xC3 || b == 0xF3 || b == 0xFF) return true;
  if (b == 0xEB || b == 0xE9) {
    int32_t offset = static_cast<int8_t>(code[1]);
    if (b == 0xE9) std::memcpy(&offset, code + 1, sizeof offset);
    const uintptr_t target = pc + (b == 0xEB ? 2 : 5) + static_cast<intptr_t>(offset);
    return target < begin || target >= end;
  }
  if ((b & 0xF0) != 0x40) return false;  // a REX prefix: before a pop, an add, a lea, a jump
  const uint8_t c = code[1];
  return (c >= 0x58 && c <= 0x5F) || c == 0x81 || c == 0x83 || c == 0x8D || c == 0xFF;
}

// The system's virtual unwind of one frame of this module at a return address, read from the
// function's unwind codes (version 1: pushes, allocations, the frame register, saves) without
// the system's look-ups and epilogue decoding. False, and the context untouched, for anything
// else: a prolog, a possible epilogue, chained or machine frames, a read outside the stack.
bool UnwindOwnFrame(uint32_t handlerType, uintptr_t base, uintptr_t pc,
                    const RUNTIME_FUNCTION& function, uintptr_t low, uintptr_t high,
                    CONTEXT& context, void*& handler, void*& handlerData) {
  const auto* info = reinterpret_cast<const uint8_t*>(base + function.UnwindData);
  const unsigned flags = info[0] >> 3;
  if ((info[0] & 7) != 1 || (flags & UNW_FLAG_CHAININFO)) return false;
  if (pc - (base + function.BeginAddress) < info[1]) return false;
  if (MayBeEpilog(pc, base + function.BeginAddress, base + function.EndAddress)) return false;
  const unsigned count = info[2];
  const unsigned frameRegister = info[3] & 15;
  const unsigned frameOffset = info[3] >> 4;
  auto code = [info](unsigned i) {
    uint16_t c;
    std::memcpy(&c, info + 4 + i * sizeof c, sizeof c);
    return DWORD64{c};
  };
  static_assert(offsetof(CONTEXT, R15) - offsetof(CONTEXT, Rax) == 15 * sizeof(DWORD64));
  DWORD64* const registers = &context.Rax;  // RAX..R15, in the unwind codes' register order
  // The registers restored, written back only once the whole frame has been read.
  DWORD64 restored[16];
  unsigned restoredMask = 0;
  DWORD64 rsp = context.Rsp;
  const DWORD64 frame = frameRegister ? registers[frameRegister] - frameOffset * 16 : rsp;
  auto restore = [&](unsigned reg, DWORD64 at) {
    if (reg == 4 || at < low || at + 8 > high) return false;
    std::memcpy(&restored[reg], reinterpret_cast<const void*>(at), 8);
    restoredMask |= 1u << reg;
    return true;
  };
  for (unsigned i = 0; i < count;) {
    const unsigned op = (code(i) >> 8) & 15, opInfo = static_cast<unsigned>(code(i) >> 12);
    const DWORD64 next = i + 1 < count ? code(i + 1) : 0;
    const DWORD64 wide = i + 2 < count ? next | code(i + 2) << 16 : 0;
    // Tested in the order of their frequency in GCC's prologs (a jump table mispredicts).
    if (op == 0) {  // push
      if (!restore(opInfo, rsp)) return false;
      rsp += 8;
      i += 1;
    } else if (op == 2) {  // small allocation
      rsp += opInfo * 8 + 8;
      i += 1;
    } else if (op == 3) {  // the frame register
      rsp = frame;
      i += 1;
    } else if (op == 1) {  // large allocation
      rsp += opInfo ? wide : next * 8;
      i += opInfo ? 3 : 2;
    } else if (op == 8 || op == 9) {  // XMM saves: no vector registers are recorded
      i += op == 8 ? 2 : 3;
    } else if (op == 4 || op == 5) {  // saves
      if (!restore(opInfo, frame + (op == 4 ? next * 8 : wide))) return false;
      i += op == 4 ? 2 : 3;
    } else {
      return false;
    }
  }
  if (rsp < low || rsp + 8 > high) return false;
  std::memcpy(&context.Rip, reinterpret_cast<const void*>(rsp), 8);
  context.Rsp = rsp + 8;
  for (unsigned mask = restoredMask; mask != 0; mask &= mask - 1) {
    const unsigned reg = static_cast<unsigned>(__builtin_ctz(mask));
    registers[reg] = restored[reg];
  }
  handler = nullptr;
  if (flags & handlerType) {
    const auto* handlerAt = info + 4 + ((count + 1) & ~1u) * sizeof(uint16_t);
    DWORD handlerRva;
    std::memcpy(&handlerRva, handlerAt, sizeof handlerRva);
    handler = reinterpret_cast<void*>(base + handlerRva);
    handlerData = const_cast<uint8_t*>(handlerAt + sizeof handlerRva);
  }
  return true;
}

// VirtualUnwind within the stack [Low, High).
void* UnwindFrame(uint32_t handlerType, uint64_t imageBase, uint64_t pc, const void* entry,
                  uintptr_t low, uintptr_t high, CONTEXT& context, void*& handlerData) {
  handlerData = nullptr;
  const TOwnFunctionTable& own = OwnFunctionTable();
  const auto* function = static_cast<const RUNTIME_FUNCTION*>(entry);
  if (own.Table && imageBase == own.Base && pc >= own.Base && pc < own.End) {
    void* handler = nullptr;
    if (UnwindOwnFrame(handlerType, own.Base, pc, *function, low, high, context, handler,
                       handlerData)) {
      return handler;
    }
  }
  DWORD64 establisher = 0;
  return reinterpret_cast<void*>(RtlVirtualUnwind(handlerType, imageBase, pc,
                                                  const_cast<RUNTIME_FUNCTION*>(function), &context,
                                                  &handlerData, &establisher, nullptr));
}

// A frame's verdict for a thrown type, kept in the thread's raise state: a throw caught by the
// same frame again reads its handler table once. Only for tables of this module (they never
// change) and types that are not pointers (a pointer's catch can depend on the pointer's value).
TLsdaVerdict CachedFrameVerdict(uintptr_t lsda, uintptr_t start, uintptr_t returnAddress,
                                TWalkContext& context, TThreadRaiseState& state) {
  const TOwnFunctionTable& own = OwnFunctionTable();
  const std::type_info* type = context.Thrown().Type;
  if (!type || type->__is_pointer_p() || !own.Table || lsda < own.Base || lsda >= own.End) {
    return FrameVerdict(lsda, start, returnAddress, context);
  }
  constexpr size_t slots = sizeof state.Verdicts / sizeof state.Verdicts[0];
  TThreadRaiseState::TVerdict& entry =
      state.Verdicts[(returnAddress ^ (returnAddress >> 7)) % slots];
  if (entry.Table == lsda && entry.ReturnAddress == returnAddress && entry.Type == type) {
    return static_cast<TLsdaVerdict>(entry.Verdict);
  }
  const TLsdaVerdict verdict = FrameVerdict(lsda, start, returnAddress, context);
  entry = {lsda, returnAddress, type, static_cast<int>(verdict)};
  return verdict;
}

void RecordThrower(const CONTEXT& frame, const TThrownObject& thrown, TThreadRaiseState& state) {
  state.Context = frame;
  state.Context.ContextFlags = RaiseContextFlags;
  state.Context.Rax = reinterpret_cast<DWORD64>(thrown.Object);
  state.Context.Rdx = frame.Rip;
  state.Context.Rcx = 0;
  state.Context.R8 = state.Context.R9 = state.Context.R10 = state.Context.R11 = 0;
  state.Context.Rip = frame.Rip - 5;
  state.RaiseEcx = 0;
  state.RaiseStackPointer = frame.Rsp;
  state.StackPointer = frame.Rsp;
}

}  // namespace

void* LookupFunctionEntry(uint64_t pc, uint64_t& imageBase) {
  const TOwnFunctionTable& own = OwnFunctionTable();
  if (own.Table && pc >= own.Base && pc < own.End) {
    imageBase = own.Base;
    const auto rva = static_cast<DWORD>(pc - own.Base);
    // A raise passes the same few return addresses again and again: each one's entry is kept
    // in a small table (one word: the address and the entry's index, read and written whole).
    std::atomic<uint64_t>& slot = g_entryCache[(rva ^ (rva >> 9)) % EntryCacheSlots];
    const uint64_t cached = slot.load(std::memory_order_relaxed);
    if (cached >> 32 == rva && (cached & 0xFFFFFFFF) != 0) {
      return const_cast<RUNTIME_FUNCTION*>(&own.Table[(cached & 0xFFFFFFFF) - 1]);
    }
    size_t low = 0, high = own.Count;
    while (low < high) {
      const size_t mid = low + (high - low) / 2;
      const RUNTIME_FUNCTION& f = own.Table[mid];
      if (rva < f.BeginAddress) {
        high = mid;
      } else if (rva >= f.EndAddress) {
        low = mid + 1;
      } else {
        slot.store(uint64_t{rva} << 32 | (mid + 1), std::memory_order_relaxed);
        return const_cast<RUNTIME_FUNCTION*>(&f);
      }
    }
    return nullptr;
  }
  DWORD64 base = 0;
  PRUNTIME_FUNCTION entry = RtlLookupFunctionEntry(pc, &base, nullptr);
  imageBase = base;
  return entry;
}

void* VirtualUnwind(uint32_t handlerType, uint64_t imageBase, uint64_t pc, const void* entry,
                    CONTEXT& context, void*& handlerData) {
  uintptr_t low, high;
  CurrentStackBounds(low, high);
  return UnwindFrame(handlerType, imageBase, pc, entry, low, high, context, handlerData);
}

__attribute__((noinline)) TRaiseWalkResult WalkRaise(uintptr_t hookStart,
                                                     const TThrownObject& thrown,
                                                     TThreadRaiseState& state) {
  TRaiseWalkResult result;
  CONTEXT ctx;
  RtlCaptureContext(&ctx);
  uintptr_t low, high;
  CurrentStackBounds(low, high);
  TWalkContext tables(thrown);
  const auto personality = reinterpret_cast<void*>(&__gxx_personality_seh0);
  TPhase phase = TPhase::BelowHook;
  for (; result.Frames < MaxWalkFrames; ++result.Frames) {
    const DWORD64 pc = ctx.Rip;
    if (pc == 0 || ctx.Rsp < low || ctx.Rsp >= high) break;
    DWORD64 imageBase = 0;
    auto* entry = static_cast<PRUNTIME_FUNCTION>(LookupFunctionEntry(pc, imageBase));
    const uintptr_t start = entry ? static_cast<uintptr_t>(imageBase + entry->BeginAddress) : 0;
    if (phase == TPhase::BelowHook) {
      if (start == hookStart) phase = TPhase::InMachinery;
    } else if (phase == TPhase::InMachinery && !Machinery().Contains(start)) {
      phase = TPhase::Searching;
      RecordThrower(ctx, thrown, state);
      result.ThrowerFound = true;
      result.ThrowerReturn = pc;
      result.ThrowerStart = start;
    }
    if (phase == TPhase::Searching && SpecialFrame(start, result)) break;
    if (!entry) {
      // A leaf routine: its return address is at the stack pointer.
      if (!IsReadable(ctx.Rsp, 8)) break;
      std::memcpy(&ctx.Rip, reinterpret_cast<const void*>(ctx.Rsp), 8);
      ctx.Rsp += 8;
      continue;
    }
    void* handlerData = nullptr;
    void* handler = UnwindFrame(phase == TPhase::Searching ? UNW_FLAG_EHANDLER : UNW_FLAG_NHANDLER,
                                imageBase, pc, entry, low, high, ctx, handlerData);
    if (phase == TPhase::Searching && handler == personality && handlerData) {
      if (Decide(CachedFrameVerdict(reinterpret_cast<uintptr_t>(handlerData), start, pc, tables,
                                    state),
                 result)) {
        break;
      }
    }
  }
  return result;
}

#else  // 32-bit: the DWARF-2 unwinder's backtrace

// Does the frame at Ip use this module's C++ personality? (Its FDE's CIE names it.)
bool OwnPersonality(uintptr_t ip) {
  dwarf_eh_bases bases = {};
  const void* fde = _Unwind_Find_FDE(reinterpret_cast<void*>(ip - 1), &bases);
  if (!fde) return false;
  const auto fdeAt = reinterpret_cast<uintptr_t>(fde);
  if (!IsReadable(fdeAt, 8)) return false;
  uint64_t cie = 0;
  if (!CieOfFde(static_cast<const uint8_t*>(fde), 8, fdeAt, cie)) return false;
  const size_t size = ReadableBytes(static_cast<uintptr_t>(cie), 256);
  TProcessMemory memory;
  uint64_t personality = 0;
  if (!CiePersonality(reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(cie)), size, cie, 4,
                      memory, personality)) {
    return false;
  }
  return personality == Address(&__gxx_personality_v0);
}

struct TBacktrace {
  uintptr_t HookStart;
  const TThrownObject* Thrown;
  TThreadRaiseState* State;
  TRaiseWalkResult* Result;
  TWalkContext* Tables;
  TPhase Phase;
  uintptr_t PreviousCfa;
};

_Unwind_Reason_Code BacktraceStep(_Unwind_Context* ctx, void* arg) {
  auto& d = *static_cast<TBacktrace*>(arg);
  TRaiseWalkResult& result = *d.Result;
  if (++result.Frames > MaxWalkFrames) return _URC_END_OF_STACK;
  const uintptr_t ip = _Unwind_GetIP(ctx);
  if (ip == 0) return _URC_END_OF_STACK;
  const uintptr_t start = _Unwind_GetRegionStart(ctx);
  const uintptr_t cfa = _Unwind_GetCFA(ctx);
  if (d.Phase == TPhase::BelowHook) {
    if (start == d.HookStart) d.Phase = TPhase::InMachinery;
  } else if (d.Phase == TPhase::InMachinery && !Machinery().Contains(start)) {
    d.Phase = TPhase::Searching;
    // Callee-saved registers as the unwinder restored them for this frame (never register 4,
    // the stack pointer: that is the inner frame's CFA).
    CONTEXT& c = d.State->Context;
    c.ContextFlags = RaiseContextFlags;
    c.Ebx = static_cast<DWORD>(_Unwind_GetGR(ctx, 3));
    c.Ebp = static_cast<DWORD>(_Unwind_GetGR(ctx, 5));
    c.Esi = static_cast<DWORD>(_Unwind_GetGR(ctx, 6));
    c.Edi = static_cast<DWORD>(_Unwind_GetGR(ctx, 7));
    c.Eax = static_cast<DWORD>(reinterpret_cast<uintptr_t>(d.Thrown->Object));
    c.Edx = static_cast<DWORD>(ip);
    c.Ecx = 0;
    c.Esp = static_cast<DWORD>(d.PreviousCfa);
    c.Eip = static_cast<DWORD>(ip - 5);
    d.State->RaiseEcx = 0;
    d.State->RaiseStackPointer = d.PreviousCfa;
    d.State->StackPointer = d.PreviousCfa;
    result.ThrowerFound = true;
    result.ThrowerReturn = ip;
    result.ThrowerStart = start;
  }
  d.PreviousCfa = cfa;
  if (d.Phase != TPhase::Searching) return _URC_NO_REASON;
  if (SpecialFrame(start, result)) return _URC_END_OF_STACK;
  const auto lsda = reinterpret_cast<uintptr_t>(_Unwind_GetLanguageSpecificData(ctx));
  if (lsda && OwnPersonality(ip)) {
    if (Decide(FrameVerdict(lsda, start, ip, *d.Tables), result)) return _URC_END_OF_STACK;
  }
  return _URC_NO_REASON;
}

}  // namespace capture

__attribute__((noinline)) TRaiseWalkResult WalkRaise(uintptr_t hookStart,
                                                     const TThrownObject& thrown,
                                                     TThreadRaiseState& state) {
  TRaiseWalkResult result;
  TWalkContext tables(thrown);
  // The segment registers and flags come from the current context; the walk fills the rest.
  CONTEXT current;
  std::memset(&current, 0, sizeof current);
  current.ContextFlags = CONTEXT_FULL;
  RtlCaptureContext(&current);
  TBacktrace d{hookStart, &thrown, &state, &result, &tables, TPhase::BelowHook, 0};
  const DWORD flags = state.Context.ContextFlags;
  state.Context = current;
  state.Context.ContextFlags = flags;
  _Unwind_Backtrace(&BacktraceStep, &d);
  return result;
}

#endif

#if !defined(__x86_64__)

namespace {

// The C++ runtime's exception header (its dependent-exception header has the same layout), which
// ends in the unwinder's header; its last fields are what the personality's search left for its
// second phase.
struct THeaderTail {
  void* ExceptionType;
  void (*ExceptionDestructor)(void*);
  void (*UnexpectedHandler)();
  void (*TerminateHandler)();
  void* NextException;
  int HandlerCount;
  int HandlerSwitchValue;
  const unsigned char* ActionRecord;
  const unsigned char* LanguageSpecificData;
  _Unwind_Ptr CatchTemp;  // the landing pad; 0 where the runtime terminates
  void* AdjustedPtr;
  _Unwind_Exception UnwindHeader;
};

struct TSearch {
  void* Exception;
  bool PassedOver;
};
thread_local TSearch t_search = {nullptr, false};

}  // namespace

void BeginSearch(void* exception) { t_search = {exception, false}; }

bool EndSearch() {
  const bool passed = t_search.PassedOver;
  t_search = {nullptr, false};
  return passed;
}

extern "C" _Unwind_Reason_Code __wrap___gxx_personality_v0(int version, _Unwind_Action actions,
                                                           _Unwind_Exception_Class exceptionClass,
                                                           _Unwind_Exception* exception,
                                                           _Unwind_Context* context) {
  TSearch& search = t_search;
  if (!exception || exception != search.Exception) {
    return __real___gxx_personality_v0(version, actions, exceptionClass, exception, context);
  }
  // The search found its handler and the unwinding to it has begun: nothing more to watch.
  if (!(actions & _UA_SEARCH_PHASE)) {
    search = {nullptr, false};
    return __real___gxx_personality_v0(version, actions, exceptionClass, exception, context);
  }
  if (search.PassedOver) return _URC_CONTINUE_UNWIND;
  const _Unwind_Reason_Code found =
      __real___gxx_personality_v0(version, actions, exceptionClass, exception, context);
  if (found != _URC_HANDLER_FOUND) return found;
  const auto* tail = reinterpret_cast<const THeaderTail*>(exception + 1) - 1;
  const uintptr_t start = _Unwind_GetRegionStart(context);
  const bool passOver = tail->CatchTemp == 0 || tail->HandlerSwitchValue < 0 ||
                        SafecallBoundaries().Contains(start) || Guards().Contains(start);
  if (!passOver) return found;
  search.PassedOver = true;
  return _URC_CONTINUE_UNWIND;
}

#endif

void AddGuardFrame(uintptr_t functionStart) { Guards().Add(functionStart); }

}  // namespace capture

}  // namespace vl
