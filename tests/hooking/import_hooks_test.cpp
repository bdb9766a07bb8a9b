// Import patching on real modules under Wine: this executable's import table and a library's,
// redirected, refused, and put back at shut-down.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>

#include "core/trace.h"
#include "hooking/hooking.h"
#include "hooking/test_routines.h"
#include "support/win_process.h"

using namespace vl;

using namespace hooking;

namespace {

using TNoArgs = DWORD(WINAPI*)();
using TLibraryTick = DWORD (*)();

std::atomic<int> g_tickCalls{0};
DWORD WINAPI ReplacementTick() {
  ++g_tickCalls;
  return 4242;
}

void* g_createThread = nullptr;
std::atomic<int> g_createThreadCalls{0};
HANDLE WINAPI HookedCreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stack,
                                 LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                                 LPDWORD id) {
  ++g_createThreadCalls;
  return reinterpret_cast<decltype(&HookedCreateThread)>(g_createThread)(security, stack, start,
                                                                         parameter, flags, id);
}

DWORD WINAPI ThreadReturning7(LPVOID) { return 7; }

// Direct calls through this executable's import slots. The compiler may keep an import slot's
// value in a register for the rest of a function (it takes it for a constant), so each call
// reads the slot in a function of its own.
__attribute__((noipa)) DWORD CallTick() { return GetTickCount(); }
__attribute__((noipa)) HANDLE CallCreateThread() {
  return CreateThread(nullptr, 0, ThreadReturning7, nullptr, 0, nullptr);
}

HMODULE TestLibrary() {
  static HMODULE library =
      LoadLibraryA((testsupport::ExeFolder() + "hooking_test_dll.dll").c_str());
  return library;
}

TLibraryTick LibraryTick() {
  return reinterpret_cast<TLibraryTick>(
      reinterpret_cast<void*>(GetProcAddress(TestLibrary(), "HookDll_TickCount")));
}

std::string ExeName() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string full(path, n);
  return full.substr(full.find_last_of("\\/") + 1);
}

void* KernelExport(const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name));
}

class HookImportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(TestLibrary(), nullptr);
    ASSERT_NE(LibraryTick(), nullptr);
    g_tickCalls = 0;
  }
  void TearDown() override {
    ShutdownHooking();
    EXPECT_EQ(ImportHookCount(), 0u);
  }
};

}  // namespace

TEST_F(HookImportTest, OwnImportTableRedirectsDirectCallsAndShutDownPutsItBack) {
  void* old = KernelExport("GetTickCount");
  EXPECT_EQ(HookImport(GetModuleHandleA(nullptr), old, reinterpret_cast<void*>(&ReplacementTick),
                       false, false, "GetTickCount"),
            old);
  EXPECT_EQ(ImportHookCount(), 1u);
  EXPECT_EQ(CallTick(), 4242u);
  EXPECT_EQ(reinterpret_cast<TNoArgs>(ImportStubOfGetTickCount())(), 4242u);  // jump stub too
  EXPECT_EQ(g_tickCalls, 2);
  // Another module's slots are not touched.
  LibraryTick()();
  EXPECT_EQ(g_tickCalls, 2);
  ShutdownHooking();
  CallTick();
  EXPECT_EQ(g_tickCalls, 2);
}

TEST_F(HookImportTest, RestoringDoesNotRecord) {
  void* old = KernelExport("GetTickCount");
  HMODULE exe = GetModuleHandleA(nullptr);
  auto replacement = reinterpret_cast<void*>(&ReplacementTick);
  HookImport(exe, old, replacement, true, false, "GetTickCount");
  EXPECT_EQ(ImportHookCount(), 0u);
  EXPECT_EQ(CallTick(), 4242u);
  EXPECT_EQ(HookImport(exe, replacement, old, true, false, ""), replacement);
  CallTick();
  EXPECT_EQ(g_tickCalls, 1);
}

TEST_F(HookImportTest, ModuleThatNeverImportsTheRoutine) {
  void* notImported = reinterpret_cast<void*>(&ExeMultiply);
  try {
    HookImport(TestLibrary(), notImported, reinterpret_cast<void*>(&ReplacementTick), false, false,
               "ExeMultiply");
    ADD_FAILURE() << "no error";
  } catch (const EHookingError& e) {
    EXPECT_STREQ(e.what(), "Cannot hook the procedure \"ExeMultiply\".");
  }
  EXPECT_EQ(HookImport(TestLibrary(), notImported, reinterpret_cast<void*>(&ReplacementTick), false,
                       true, "ExeMultiply"),
            nullptr);
  EXPECT_EQ(ImportHookCount(), 0u);
  // Not a module at all: nothing to patch.
  EXPECT_EQ(HookImport(reinterpret_cast<HMODULE>(&g_tickCalls), KernelExport("GetTickCount"),
                       reinterpret_cast<void*>(&ReplacementTick), false, true, "GetTickCount"),
            nullptr);
}

TEST_F(HookImportTest, NullRoutine) {
  // Every refusal closes its entry line: the trace's indentation ends as it began.
  core::SetTraceSwitches({true, false, false});
  const std::string indent = core::TraceIndent();
  try {
    HookImport(GetModuleHandleA(nullptr), nullptr, reinterpret_cast<void*>(&ReplacementTick), false,
               true, "kernel32.dll.GetTickCount");
    ADD_FAILURE() << "no error";
  } catch (const EProcNull& e) {
    EXPECT_STREQ(e.what(), "Cannot hook a null procedure (\"kernel32.dll.GetTickCount\").");
  }
  void* old = reinterpret_cast<void*>(1);
  try {
    HookImportInModules({ExeName()}, "kernel32.dll", true, old,
                        reinterpret_cast<void*>(&ReplacementTick), "NoSuchRoutine");
    ADD_FAILURE() << "no error";
  } catch (const EProcNull& e) {
    EXPECT_STREQ(e.what(), "Cannot hook a null procedure (\"kernel32.dll.NoSuchRoutine\").");
  }
  EXPECT_EQ(old, nullptr);
  EXPECT_EQ(core::TraceIndent(), indent);
  core::SetTraceSwitches({});
  core::ClearTrace();
}

TEST_F(HookImportTest, InModulesRedirectsTheExecutableAndTheLibraryUntilShutDown) {
  const std::vector<std::string> modules = {ExeName(), "hooking_test_dll.dll",
                                            "not_loaded_module.dll"};
  void* oldTick = nullptr;
  ASSERT_TRUE(HookImportInModules(modules, "kernel32.dll", false, oldTick,
                                  reinterpret_cast<void*>(&ReplacementTick), "GetTickCount"));
  EXPECT_EQ(oldTick, KernelExport("GetTickCount"));
  EXPECT_EQ(ImportHookCount(), 2u);
  EXPECT_EQ(CallTick(), 4242u);
  EXPECT_EQ(LibraryTick()(), 4242u);

  ASSERT_TRUE(HookImportInModules({ExeName()}, "kernel32.dll", true, g_createThread,
                                  reinterpret_cast<void*>(&HookedCreateThread), "CreateThread"));
  g_createThreadCalls = 0;
  HANDLE thread = CallCreateThread();
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  CloseHandle(thread);
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(g_createThreadCalls, 1);

  // Silent over a module that does not import the routine: nothing patched, no error.
  void* old = nullptr;
  EXPECT_FALSE(HookImportInModules({"hooking_test_dll.dll"}, "kernel32.dll", true, old,
                                   reinterpret_cast<void*>(&ReplacementTick), "GetBinaryTypeA"));
  EXPECT_NE(old, nullptr);

  ShutdownHooking();
  CallTick();
  LibraryTick()();
  EXPECT_EQ(g_tickCalls, 2);
  thread = CallCreateThread();
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  EXPECT_EQ(g_createThreadCalls, 1);
}

TEST_F(HookImportTest, ShutDownSurvivesUnloadedModulesAndSlotsPutBackByOthers) {
  // A private copy of the library, so that it can really be unloaded.
  const std::string copy = testsupport::ExeFolder() + "hooking_test_dll_unloaded.dll";
  ASSERT_TRUE(
      CopyFileA((testsupport::ExeFolder() + "hooking_test_dll.dll").c_str(), copy.c_str(), FALSE));
  HMODULE library = LoadLibraryA(copy.c_str());
  ASSERT_NE(library, nullptr);
  ASSERT_NE(library, TestLibrary());
  void* add = reinterpret_cast<void*>(GetProcAddress(library, "HookDll_Add"));
  HookProcedure(add, reinterpret_cast<void*>(&ExeMultiply), "HookDll_Add");
  void* old = KernelExport("GetTickCount");
  auto replacement = reinterpret_cast<void*>(&ReplacementTick);
  HookImport(library, old, replacement, false, false, "GetTickCount");
  ASSERT_TRUE(FreeLibrary(library));
  ASSERT_EQ(GetModuleHandleA("hooking_test_dll_unloaded.dll"), nullptr);

  // This executable's slot is redirected, then put back by someone else before shut-down.
  HMODULE exe = GetModuleHandleA(nullptr);
  HookImport(exe, old, replacement, false, false, "GetTickCount");
  HookImport(exe, replacement, old, true, false, "GetTickCount");
  EXPECT_EQ(ImportHookCount(), 2u);
  EXPECT_EQ(HookedProcedureCount(), 1u);

  ShutdownHooking();
  EXPECT_EQ(ImportHookCount(), 0u);
  EXPECT_EQ(HookedProcedureCount(), 0u);
  CallTick();
  EXPECT_EQ(g_tickCalls, 0);
  DeleteFileA(copy.c_str());
}
