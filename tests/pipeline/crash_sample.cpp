// A console program that carries the crash reporter and fails on purpose; its first argument
// says how:
//   throw    an Exception escapes the main block three calls deep
//   av       an access violation three calls deep
//   thread   a thread started by the main block raises
//   skip     as throw, with repeated reports skipped in the log
//   restart  as throw; the notification asks for a restart (the second instance finds the
//            file named by the second argument, writes "<file>.second" and ends)
//   html     an Exception whose message holds markup escapes the main block
//   mail server|direct  as throw, the report mailed to the loopback peers of run-with-peers.sh
//            (through the server with login, or straight to the recipient's exchanger found
//            by the loopback name server); what should arrive is left for the peers' check
//   upload ok|av|fail500|silent|zero  as throw (av: as av), the report uploaded to that HTTP peer
//            (av: the ok one) within 3 s, its step error printed; the peers check what arrives
//   lines    prints the source lines the tests expect in the call stack
//   abort | terminate | purevirtual | invalidparameter | overflow | overflowthread | heap
//            the program ends that way (overflow: a deep recursion on the main thread or a
//            worker); its own handler for it, set in the main block, prints "own handler ran"
#include <winsock2.h>
// winsock2.h before windows.h
#include <windows.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "core/internal_errors.h"
#include "core/module_options.h"
#include "delivery/socket_seams.h"
#include "pipeline/pipeline_state.h"
#include "runtime/exceptions.h"
#include "runtime/system.h"
#include "support/peers.h"

using namespace vl;

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

using testsupport::Env;
using testsupport::Hex;
using testsupport::PeerDir;

void WriteFile(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// Before sending: the files the message must carry are copied for the peers' check.
void KeepWhatIsSent(const pipeline::TVantorExceptionRecord& record, int action, bool&) {
  if (action != pipeline::atSendingEmail) return;
  const TVantorModuleOptions& options = *record.Options;
  const std::string tag = options.MailRecipients().substr(0, options.MailRecipients().find('@'));
  // Each message's files in a folder of its own: the attachments keep their names.
  const std::string dir = PeerDir() + tag + "\\";
  CreateDirectoryA(dir.c_str(), nullptr);
  WriteFile(dir + "crash_sample.vlf", pipeline::State().Blocks.SendText);
  CopyFileA(pipeline::State().ScreenshotFile.c_str(), (dir + "Screenshot.png").c_str(), FALSE);
  std::string expect = "subject=" + Hex(options.MailSubject()) +
                       "\nbody=" + Hex(options.MailBodyText()) + "\nfile=" + tag +
                       "/crash_sample.vlf\nfile=" + tag + "/Screenshot.png\n";
  if (options.AttachMinidump()) {
    CopyFileA(pipeline::State().MinidumpFile.c_str(), (dir + "crash_sample.dmp").c_str(), FALSE);
    expect += "file=" + tag + "/crash_sample.dmp\n";
  }
  WriteFile(PeerDir() + tag + ".expect", expect);
}

void PrepareMail(bool direct) {
  TVantorModuleOptionsEx* options = pipeline::CurrentVantorLogOptions();
  delivery::TSeams& seams = delivery::Seams();
  seams.ConnectCheck = [](uint32_t address) { return delivery::IsLoopbackAddress(address); };
  seams.ResolveHost = [](const std::string& name, uint32_t& address) {
    // The peers' exchangers: mxN.test is 127.0.0.N.
    const std::string host = name.rfind("mx", 0) == 0 ? "127.0.0." + name.substr(2, 1) : name;
    address = inet_addr(host.c_str());
    return address == INADDR_NONE ? WSAHOST_NOT_FOUND : 0;
  };
  seams.NameServers = [] { return std::vector<std::string>{"127.0.0.1"}; };
  seams.DnsPort = static_cast<uint16_t>(std::atoi(Env("VL_DNS_GOOD").c_str()));
  if (direct) {
    options->SetMailMode(mmDirect);
    options->SetSmtpServerPort(static_cast<uint16_t>(std::atoi(Env("VL_SMTP_PLAIN").c_str())));
    options->SetMailRecipients("crashdirect@two.test");
  } else {
    options->SetMailMode(mmViaServer);
    options->SetSmtpServer("127.0.0.1");
    options->SetSmtpServerPort(static_cast<uint16_t>(std::atoi(Env("VL_SMTP_AUTH").c_str())));
    options->SetSmtpUser("reporter");
    options->SetSmtpLoginPassword(std::string(70, 'p'));
    options->SetMailRecipients("crashserver@loopback.test");
  }
  options->SetSmtpSender("sample@loopback.test");
  options->SetMailSubject("Absturzbericht f\xfcr Ordalin");
  options->SetMailBodyText("The report is attached.\r\n.\r\nA line with a single dot above.");
  options->SetAddScreenshot(true);
  options->SetAttachMinidump(!direct);
  pipeline::ActionHandler = KeepWhatIsSent;
}

// What the upload's peer should receive: the report text and the faulting address.
void ExpectUpload(pipeline::TVantorExceptionRecord& record, bool&) {
  char address[32];
  std::snprintf(address, sizeof address, "%p", record.ExceptionAddress);
  WriteFile(PeerDir() + g_marker + ".upload-expect",
            std::string("address=") + address + "\nreport=" + Hex(record.ReportText) + "\n");
}

void PrintUploadError(const pipeline::TVantorExceptionRecord&, int, bool&) {
  const TVantorStepError error = LastStepError();
  std::printf("step error: %s %s\n", VantorLogErrorCodeName(error.Code), error.Message.c_str());
  std::fflush(stdout);
}

void PrepareUpload() {
  delivery::Seams().ConnectCheck = [](uint32_t address) {
    return delivery::IsLoopbackAddress(address);
  };
  delivery::Seams().HttpTimeout = 3000;
  const char* port = g_marker == "fail500"  ? "VL_HTTP_FAIL500"
                     : g_marker == "silent" ? "VL_HTTP_SILENT"
                                            : "VL_HTTP_OK";
  const std::string host = g_marker == "zero" ? "0.0.0.0:" : "127.0.0.1:";  // zero: refused
  pipeline::CurrentVantorLogOptions()->SetUploadUrl("http://" + host + Env(port) + "/api/" +
                                                    g_marker + "/minidump/?sentry_key=sample");
  if (g_marker == "ok" || g_marker == "av") pipeline::NotifyHandler = ExpectUpload;
  pipeline::ErrorHandler = PrintUploadError;
}

void AskForRestart(pipeline::TVantorExceptionRecord&, bool&) {
  pipeline::State().TerminateRequested = true;
}

void OwnHandlerRan() {
  std::printf("own handler ran\n");
  std::fflush(stdout);
}

void OwnSignalHandler(int) { OwnHandlerRan(); }

[[noreturn]] void OwnTerminate() {
  OwnHandlerRan();
  std::abort();
}

void __cdecl OwnInvalidParameter(const wchar_t*, const wchar_t*, const wchar_t*, unsigned,
                                 uintptr_t) {
  OwnHandlerRan();
  std::exit(3);
}

struct Base {
  Base();
  virtual ~Base() = default;
  virtual void Step() = 0;
};
__attribute__((noinline)) void CallsPureVirtual(Base* base) {
  base->Step();
  __asm__ volatile("");
}
Base::Base() { CallsPureVirtual(this); }
struct Derived : Base {
  void Step() override {}
};

volatile int g_depth = 0;
__attribute__((noinline)) int Recurse(int n) {
  volatile char pad[64];
  pad[0] = static_cast<char>(n);
  g_depth = n;
  return n < 0 ? 0 : Recurse(n + 1) + pad[0];
}

DWORD WINAPI RecurseOnThread(void*) { return static_cast<DWORD>(Recurse(0)); }

// The ways a program ends without a raise of its own, each with the program's own handler set.
__attribute__((noinline)) bool EndsBy(const std::string& kind) {
  if (kind == "abort") {
    std::signal(SIGABRT, OwnSignalHandler);
    std::abort();
  }
  if (kind == "terminate" || kind == "purevirtual") std::set_terminate(OwnTerminate);
  if (kind == "terminate") std::terminate();
  if (kind == "purevirtual") Derived derived;
  if (kind == "invalidparameter") {
    using TSet = void*(__cdecl*)(void*);
    const auto set = reinterpret_cast<TSet>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("msvcrt.dll"), "_set_invalid_parameter_handler")));
    if (!set) {
      std::printf("this runtime has no invalid-parameter handler\n");
      return true;
    }
    set(reinterpret_cast<void*>(&OwnInvalidParameter));
    char buffer[4];
    using TCopy = int(__cdecl*)(char*, size_t, const char*);
    reinterpret_cast<TCopy>(reinterpret_cast<void*>(GetProcAddress(
        GetModuleHandleA("msvcrt.dll"), "strcpy_s")))(buffer, sizeof buffer, nullptr);
  }
  if (kind == "overflow") Recurse(0);
  if (kind == "heapcorruption") RaiseException(0xC0000374, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  if (kind == "overflowthread") {
    HANDLE thread = CreateThread(nullptr, 0, RecurseOnThread, nullptr, 0, nullptr);
    WaitForSingleObject(thread, 60000);
  }
  return kind == "abort" || kind == "terminate" || kind == "purevirtual" ||
         kind == "invalidparameter" || kind == "overflow" || kind == "overflowthread" ||
         kind == "heapcorruption";
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
  if (EndsBy(g_mode)) return;
  if (g_mode == "html") throw Exception("<script>alert(1)</script> & \"more\"");
  if (g_mode == "mail") PrepareMail(g_marker == "direct");
  if (g_mode == "upload") PrepareUpload();
  if (g_mode == "thread") {
    StartFailingThread();
    return;
  }
  First(g_mode == "av" || (g_mode == "upload" && g_marker == "av") ? 1 : 0);
}

}  // namespace sample

// An ordinary main: the crash reporter started before it.
int main(int argc, char** argv) {
  sample::g_mode = argc > 1 ? argv[1] : "throw";
  sample::g_marker = argc > 2 ? argv[2] : "";
  sample::MainBlock();
  return 0;
}
