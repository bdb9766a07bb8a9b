// A console program that carries the crash reporter and fails on purpose; its first argument
// says how:
//   throw    an Exception escapes the main block three calls deep
//   av       an access violation three calls deep
//   thread   a thread started by the main block raises
//   skip     as throw, with repeated reports skipped in the log
//   restart  as throw; the notification asks for a restart (the second instance finds the
//            file named by the second argument, writes "<file>.second" and ends)
//   lines    prints the source lines the tests expect in the call stack
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/module_options.h"
#include "pipeline/pipeline_state.h"
#include "runtime/exceptions.h"
#include "runtime/system.h"

namespace sample {

std::string g_mode;
std::string g_marker;

// clang-format off
__attribute__((noinline)) void Third(int kind) { if (kind == 1) { *static_cast<volatile int*>(nullptr) = 1; } throw Exception("Sample failure three calls deep."); } constexpr int ThirdLine = __LINE__;
__attribute__((noinline)) void Second(int kind) { Third(kind); __asm__ volatile(""); } constexpr int SecondLine = __LINE__;
__attribute__((noinline)) void First(int kind) { Second(kind); __asm__ volatile(""); } constexpr int FirstLine = __LINE__;
// clang-format on

DWORD WINAPI ThreadBody(void*) {
  First(0);
  return 0;
}

__attribute__((noinline)) void StartFailingThread() {
  HANDLE thread = CreateThread(nullptr, 0, ThreadBody, nullptr, 0, nullptr);
  if (thread) {
    WaitForSingleObject(thread, 30000);
    CloseHandle(thread);
  }
}

void AskForRestart(pipeline::TVantorExceptionRecord&, bool&) {
  pipeline::State().TerminateRequested = true;
}

void MainBlock() {
  if (g_mode == "lines") {
    std::printf("%d %d %d\n", ThirdLine, SecondLine, FirstLine);
    return;
  }
  if (g_mode == "restart" && GetFileAttributesA(g_marker.c_str()) != INVALID_FILE_ATTRIBUTES) {
    // The restarted instance: answers and ends.
    HANDLE answer = CreateFileA((g_marker + ".second").c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (answer != INVALID_HANDLE_VALUE) CloseHandle(answer);
    return;
  }
  if (g_mode == "skip") {
    TVantorModuleOptionsEx* options = pipeline::CurrentVantorLogOptions();
    options->SetHandlingFlags(options->HandlingFlags() | hfSkipRepeats);
  }
  if (g_mode == "restart") {
    HANDLE marker = CreateFileA(g_marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
    pipeline::CurrentVantorLogOptions()->SetThirdButtonAction(tbRestart);
    pipeline::NotifyHandler = AskForRestart;
  }
  if (g_mode == "thread") {
    StartFailingThread();
    return;
  }
  First(g_mode == "av" ? 1 : 0);
}

}  // namespace sample

int main(int argc, char** argv) {
  sample::g_mode = argc > 1 ? argv[1] : "throw";
  sample::g_marker = argc > 2 ? argv[2] : "";
  rtl::RunProgram(sample::MainBlock);
}
