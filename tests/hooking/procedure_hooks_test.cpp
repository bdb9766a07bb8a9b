// Code patching on real code under Wine: routines of this executable, of a library and of the
// system, calls through trampolines, undo, refusals, and many threads at once.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "core/trace.h"
#include "hooking/hooking.h"
#include "hooking/test_routines.h"
#include "support/win_process.h"

using namespace vl;

using namespace hooking;

namespace {

using TBinary = int (*)(int, int);
using TUnary = int (*)(int);
using TNoArgs = DWORD(WINAPI*)();

struct TSaved {
  explicit TSaved(const void* p) : address(p) { std::memcpy(bytes, p, sizeof bytes); }
  bool Intact() const { return std::memcmp(bytes, address, sizeof bytes) == 0; }
  const void* address;
  uint8_t bytes[PatchLength];
};

TBinary g_multiplyTrampoline = nullptr;
int ReplacementMultiply(int a, int b) { return g_multiplyTrampoline(a, b) + 1; }

TBinary g_addTrampoline = nullptr;
int ReplacementAdd(int a, int b) { return -g_addTrampoline(a, b); }

TUnary g_callTrampoline = nullptr;
int ReplacementCallPrologue(int value) { return 2 * g_callTrampoline(value); }

std::atomic<int> g_tickCalls{0};
TNoArgs g_tickTrampoline = nullptr;
DWORD WINAPI ReplacementTick() {
  ++g_tickCalls;
  return g_tickTrampoline();
}

TNoArgs g_pidTrampoline = nullptr;
DWORD WINAPI ReplacementProcessId() { return g_pidTrampoline() ^ 0x5A5Au; }

// Calls through a pointer the compiler cannot see through.
template <typename F>
F Opaque(F f) {
  F volatile copy = f;
  return copy;
}

class HookProcedureTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ShutdownHooking();
    EXPECT_EQ(HookedProcedureCount(), 0u);
  }
};

HMODULE TestLibrary() {
  static HMODULE library =
      LoadLibraryA((testsupport::ExeFolder() + "hooking_test_dll.dll").c_str());
  return library;
}

}  // namespace

TEST_F(HookProcedureTest, RoutineOfTheExecutableThroughTrampolineUnhookAndRehook) {
  TSaved original(reinterpret_cast<void*>(&ExeMultiply));
  void* trampoline = HookProcedure(reinterpret_cast<void*>(&ExeMultiply),
                                   reinterpret_cast<void*>(&ReplacementMultiply), "ExeMultiply");
  g_multiplyTrampoline = reinterpret_cast<TBinary>(trampoline);
  EXPECT_FALSE(original.Intact());
  EXPECT_EQ(static_cast<const uint8_t*>(original.address)[0], 0xE9);
  EXPECT_EQ(Opaque(&ExeMultiply)(6, 7), 43);
  EXPECT_EQ(g_multiplyTrampoline(6, 7), 42);

  // Unpatched for a while: the routine runs as it was, the trampoline still works.
  UnpatchProcedure(trampoline);
  EXPECT_TRUE(original.Intact());
  EXPECT_EQ(Opaque(&ExeMultiply)(6, 7), 42);
  EXPECT_EQ(g_multiplyTrampoline(3, 3), 9);
  RehookProcedure(trampoline);
  EXPECT_EQ(Opaque(&ExeMultiply)(6, 7), 43);

  UnhookProcedure(trampoline);
  EXPECT_TRUE(original.Intact());
  EXPECT_EQ(Opaque(&ExeMultiply)(6, 7), 42);
  EXPECT_EQ(HookedProcedureCount(), 0u);
  EXPECT_TRUE(UnhookProcedure(trampoline));  // unknown now: nothing to do
  EXPECT_TRUE(UnhookProcedure(nullptr));
  EXPECT_FALSE(RehookProcedure(trampoline));
  EXPECT_FALSE(UnpatchProcedure(trampoline));
  EXPECT_TRUE(original.Intact());
}

int ReplacementSeven() { return 70; }

// A routine whose first bytes can no longer be written (its memory became a read-only view):
// unhooking fails, and the hook and its trampoline stay, because the routine still jumps there.
TEST_F(HookProcedureTest, ARoutineWhoseBytesCannotGoBackKeepsItsHookAndTrampoline) {
  const uint8_t code[] = {0xB8, 0x07, 0x00, 0x00, 0x00, 0xC3};  // mov eax, 7; ret
  HANDLE writable = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_EXECUTE_READWRITE, 0,
                                       0x10000, nullptr);
  HANDLE readOnly =
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READONLY, 0, 0x10000, nullptr);
  ASSERT_TRUE(writable && readOnly);
  auto* routine =
      static_cast<uint8_t*>(MapViewOfFile(writable, FILE_MAP_WRITE | FILE_MAP_EXECUTE, 0, 0, 0));
  ASSERT_NE(routine, nullptr);
  std::memcpy(routine, code, sizeof code);
  using TSeven = int (*)();
  auto trampoline = reinterpret_cast<TSeven>(
      HookProcedure(routine, reinterpret_cast<void*>(&ReplacementSeven), "Mapped"));
  EXPECT_EQ(Opaque(reinterpret_cast<TSeven>(routine))(), 70);

  ASSERT_TRUE(UnmapViewOfFile(routine));
  ASSERT_EQ(MapViewOfFileEx(readOnly, FILE_MAP_READ, 0, 0, 0, routine), routine);
  EXPECT_FALSE(UnhookProcedure(reinterpret_cast<void*>(trampoline)));
  EXPECT_FALSE(UnhookAllProcedures());
  EXPECT_EQ(HookedProcedureCount(), 1u);
  EXPECT_EQ(trampoline(), 7);  // not freed: still the routine as it was

  // Writable again: now the hook can go.
  ASSERT_TRUE(UnmapViewOfFile(routine));
  ASSERT_EQ(MapViewOfFileEx(writable, FILE_MAP_WRITE | FILE_MAP_EXECUTE, 0, 0, 0, routine),
            routine);
  EXPECT_TRUE(UnhookProcedure(reinterpret_cast<void*>(trampoline)));
  EXPECT_EQ(std::memcmp(routine, code, sizeof code), 0);
  EXPECT_EQ(HookedProcedureCount(), 0u);
  UnmapViewOfFile(routine);
  CloseHandle(writable);
  CloseHandle(readOnly);
}

TEST_F(HookProcedureTest, RoutineOfALibrary) {
  ASSERT_NE(TestLibrary(), nullptr);
  auto add = reinterpret_cast<TBinary>(
      reinterpret_cast<void*>(GetProcAddress(TestLibrary(), "HookDll_Add")));
  ASSERT_NE(add, nullptr);
  TSaved original(reinterpret_cast<void*>(add));
  void* trampoline = HookProcedure(reinterpret_cast<void*>(add),
                                   reinterpret_cast<void*>(&ReplacementAdd), "HookDll_Add");
  g_addTrampoline = reinterpret_cast<TBinary>(trampoline);
  EXPECT_EQ(add(2, 3), -5);
  EXPECT_EQ(g_addTrampoline(2, 3), 5);
  UnhookProcedure(trampoline);
  EXPECT_TRUE(original.Intact());
  EXPECT_EQ(add(2, 3), 5);
}

TEST_F(HookProcedureTest, PrologueWithACallIsMovedAndTheCallStillReachesItsTarget) {
  TSaved original(reinterpret_cast<void*>(&HookAsm_CallPrologue));
  g_callTrampoline = reinterpret_cast<TUnary>(
      HookProcedure(reinterpret_cast<void*>(&HookAsm_CallPrologue),
                    reinterpret_cast<void*>(&ReplacementCallPrologue), "HookAsm_CallPrologue"));
  EXPECT_EQ(g_callTrampoline(5), 1005);
  EXPECT_EQ(HookAsm_CallPrologue(5), 2010);
  ShutdownHooking();
  EXPECT_TRUE(original.Intact());
  EXPECT_EQ(HookAsm_CallPrologue(5), 1005);
}

TEST_F(HookProcedureTest, ImportJumpStubIsFollowedToTheSystemRoutine) {
  void* stub = ImportStubOfGetTickCount();
  void* routine =
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount"));
  ASSERT_NE(stub, routine);
  EXPECT_EQ(FollowImportJumpStub(stub), routine);
  TSaved stubBytes(stub), routineBytes(routine);

  g_tickCalls = 0;
  g_tickTrampoline = reinterpret_cast<TNoArgs>(
      HookProcedure(stub, reinterpret_cast<void*>(&ReplacementTick), "GetTickCount"));
  EXPECT_TRUE(stubBytes.Intact());
  EXPECT_FALSE(routineBytes.Intact());
  GetTickCount();                     // through the import slot
  reinterpret_cast<TNoArgs>(stub)();  // through the stub
  EXPECT_EQ(g_tickCalls, 2);
  g_tickTrampoline();
  EXPECT_EQ(g_tickCalls, 2);
  ShutdownHooking();
  EXPECT_TRUE(routineBytes.Intact());
  GetTickCount();
  EXPECT_EQ(g_tickCalls, 2);
}

TEST_F(HookProcedureTest, HandWrittenStubsWithEitherFiller) {
  // FF 25 [slot] with 8B C0 or 90 90 behind it, and the slot right after the stub.
  auto* page = static_cast<uint8_t*>(
      VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE));
  ASSERT_NE(page, nullptr);
  for (uint8_t filler : {0x8B, 0x90}) {
    uint8_t* stub = page + (filler == 0x8B ? 0 : 64);
    uint8_t* slot = stub + 16;
    void* routine = reinterpret_cast<void*>(&ExeMultiply);
    std::memcpy(slot, &routine, sizeof routine);
    uint32_t operand = sizeof(void*) == 4 ? static_cast<uint32_t>(reinterpret_cast<uintptr_t>(slot))
                                          : static_cast<uint32_t>(slot - (stub + 6));
    stub[0] = 0xFF;
    stub[1] = 0x25;
    std::memcpy(stub + 2, &operand, 4);
    stub[6] = filler;
    stub[7] = filler == 0x8B ? 0xC0 : 0x90;
    EXPECT_EQ(FollowImportJumpStub(stub), routine);
  }
  g_multiplyTrampoline = reinterpret_cast<TBinary>(
      HookProcedure(page, reinterpret_cast<void*>(&ReplacementMultiply), "stub"));
  EXPECT_EQ(page[0], 0xFF);  // the stub itself is left alone
  EXPECT_EQ(reinterpret_cast<TBinary>(page + 64)(4, 5), 21);
  ShutdownHooking();
  VirtualFree(page, 0, MEM_RELEASE);
}

TEST_F(HookProcedureTest, ExportOfTheSystemLibrary) {
  void* routine = reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetCurrentProcessId"));
  TSaved original(routine);
  const DWORD pid = GetProcessId(GetCurrentProcess());
  g_pidTrampoline = reinterpret_cast<TNoArgs>(HookProcedure(
      routine, reinterpret_cast<void*>(&ReplacementProcessId), "GetCurrentProcessId"));
  EXPECT_EQ(GetCurrentProcessId(), pid ^ 0x5A5Au);
  EXPECT_EQ(g_pidTrampoline(), pid);
  ShutdownHooking();
  EXPECT_TRUE(original.Intact());
  EXPECT_EQ(GetCurrentProcessId(), pid);
}

TEST_F(HookProcedureTest, UnmovablePrologueIsRefusedAndLeftAlone) {
  // jmp short +0; mov eax, 7; ret
  const uint8_t code[] = {0xEB, 0x00, 0xB8, 0x07, 0x00, 0x00, 0x00, 0xC3};
  auto* page = static_cast<uint8_t*>(
      VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE));
  ASSERT_NE(page, nullptr);
  std::memcpy(page, code, sizeof code);
  try {
    HookProcedure(page, reinterpret_cast<void*>(&ReplacementMultiply), "ShortJump");
    ADD_FAILURE() << "no error";
  } catch (const EHookingError& e) {
    EXPECT_STREQ(e.what(), "Cannot hook the procedure \"ShortJump\".");
  }
  EXPECT_EQ(std::memcmp(page, code, sizeof code), 0);
  EXPECT_EQ(HookedProcedureCount(), 0u);
  EXPECT_EQ(reinterpret_cast<int (*)()>(page)(), 7);

  // A refusal closes its entry line in the trace: the indentation stays as it was.
  core::SetTraceSwitches({true, false, false});
  std::string indent = core::TraceIndent();
  EXPECT_THROW(HookProcedure(page, reinterpret_cast<void*>(&ReplacementMultiply), "ShortJump"),
               EHookingError);
  EXPECT_THROW(HookProcedure(nullptr, reinterpret_cast<void*>(&ReplacementMultiply), "Null"),
               EProcNull);
  EXPECT_EQ(core::TraceIndent(), indent);
  core::SetTraceSwitches({});
  core::ClearTrace();
  VirtualFree(page, 0, MEM_RELEASE);
}

TEST_F(HookProcedureTest, NullTargetOrReplacement) {
  try {
    HookProcedure(nullptr, reinterpret_cast<void*>(&ReplacementMultiply), "kernel32.dll.Nothing");
    ADD_FAILURE() << "no error";
  } catch (const EProcNull& e) {
    EXPECT_STREQ(e.what(), "Cannot hook a null procedure (\"kernel32.dll.Nothing\").");
  }
  TSaved original(reinterpret_cast<void*>(&ExeMultiply));
  EXPECT_THROW(HookProcedure(reinterpret_cast<void*>(&ExeMultiply), nullptr, "ExeMultiply"),
               EHookingError);
  EXPECT_TRUE(original.Intact());
}

TEST_F(HookProcedureTest, ManyThreadsCallTheRoutineAndItsTrampolineAtOnce) {
  g_multiplyTrampoline = reinterpret_cast<TBinary>(
      HookProcedure(reinterpret_cast<void*>(&ExeMultiply),
                    reinterpret_cast<void*>(&ReplacementMultiply), "ExeMultiply"));
  std::atomic<int> wrong{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      while (!go) std::this_thread::yield();
      TBinary hooked = Opaque(&ExeMultiply);
      for (int i = 0; i < 20000; ++i) {
        if (hooked(t, i) != t * i + 1) ++wrong;
        if (g_multiplyTrampoline(i, t) != t * i) ++wrong;
      }
    });
  }
  go = true;
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong, 0);
}

extern "C" int _Unwind_RaiseException(void* exception);  // libgcc's raise routine
using TRaise = int (*)(void*);
TRaise g_raiseTrampoline = nullptr;
std::atomic<int> g_raises{0};
int ReplacementRaise(void* exception) {
  ++g_raises;
  return g_raiseTrampoline(exception);
}

// The unwinder's raise routine does not return to its caller when a handler is found: the
// trampoline must not depend on getting control back.
TEST_F(HookProcedureTest, UnwindersRaiseRoutineStillUnwindsToTheHandler) {
  TSaved original(reinterpret_cast<void*>(&_Unwind_RaiseException));
  g_raiseTrampoline = reinterpret_cast<TRaise>(
      HookProcedure(reinterpret_cast<void*>(&_Unwind_RaiseException),
                    reinterpret_cast<void*>(&ReplacementRaise), "_Unwind_RaiseException"));
  g_raises = 0;
  for (int i = 0; i < 3; ++i) {
    try {
      throw EConvertError("not a number");
    } catch (const EConvertError& e) {
      EXPECT_STREQ(e.what(), "not a number");
    }
  }
  EXPECT_EQ(g_raises, 3);
  ShutdownHooking();
  EXPECT_TRUE(original.Intact());
}

TBinary g_outerTrampoline = nullptr;
int OuterMultiply(int a, int b) { return g_outerTrampoline(a, b) * 10; }

TEST_F(HookProcedureTest, HookedTwiceChainsAndShutDownUnwindsBoth) {
  TSaved original(reinterpret_cast<void*>(&ExeMultiply));
  g_multiplyTrampoline = reinterpret_cast<TBinary>(
      HookProcedure(reinterpret_cast<void*>(&ExeMultiply),
                    reinterpret_cast<void*>(&ReplacementMultiply), "ExeMultiply"));
  g_outerTrampoline = reinterpret_cast<TBinary>(
      HookProcedure(reinterpret_cast<void*>(&ExeMultiply), reinterpret_cast<void*>(&OuterMultiply),
                    "ExeMultiply"));
  EXPECT_EQ(Opaque(&ExeMultiply)(2, 3), 70);  // outer(inner(original))
  EXPECT_EQ(g_outerTrampoline(2, 3), 7);
  EXPECT_EQ(g_multiplyTrampoline(2, 3), 6);
  ShutdownHooking();
  EXPECT_TRUE(original.Intact());
  EXPECT_EQ(Opaque(&ExeMultiply)(2, 3), 6);
  // Shut-down keeps the trampolines' memory: a thread that entered one before the bytes went
  // back still finds its code.
  ASSERT_TRUE(IsReadableRange(reinterpret_cast<void*>(g_outerTrampoline), PatchLength));
  EXPECT_NE(*reinterpret_cast<const uint8_t*>(g_outerTrampoline), 0xCC);
  EXPECT_EQ(g_outerTrampoline(2, 3), 7);  // it still holds the inner patch it moved
  EXPECT_EQ(g_multiplyTrampoline(2, 3), 6);
}

TEST(WriteCode, WritesIntoExecuteReadPagesAndKeepsTheirProtection) {
  auto* page = static_cast<uint8_t*>(
      VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READ));
  ASSERT_NE(page, nullptr);
  const uint8_t bytes[] = {0xB8, 0x2A, 0x00, 0x00, 0x00, 0xC3};  // mov eax, 42; ret
  ASSERT_TRUE(WriteCode(page + 10, bytes, sizeof bytes));
  EXPECT_EQ(reinterpret_cast<int (*)()>(page + 10)(), 42);
  MEMORY_BASIC_INFORMATION info;
  ASSERT_NE(VirtualQuery(page, &info, sizeof info), 0u);
  EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_EXECUTE_READ));

  // Across two pages of different protection, each keeps its own.
  auto* pages = static_cast<uint8_t*>(
      VirtualAlloc(nullptr, 8192, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READ));
  ASSERT_NE(pages, nullptr);
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(pages + 4096, 4096, PAGE_READONLY, &old));
  ASSERT_TRUE(WriteCode(pages + 4093, bytes, sizeof bytes));
  EXPECT_EQ(std::memcmp(pages + 4093, bytes, sizeof bytes), 0);
  ASSERT_NE(VirtualQuery(pages, &info, sizeof info), 0u);
  EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_EXECUTE_READ));
  ASSERT_NE(VirtualQuery(pages + 4096, &info, sizeof info), 0u);
  EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_READONLY));
  VirtualFree(pages, 0, MEM_RELEASE);
  EXPECT_FALSE(WriteCode(nullptr, bytes, sizeof bytes));
  VirtualFree(page, 0, MEM_RELEASE);
  EXPECT_FALSE(IsReadableRange(page, 1));
}
