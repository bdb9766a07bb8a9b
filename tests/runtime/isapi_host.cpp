// A stand-in web server for ISAPI extensions:
//   isapi_host DLL QUERY...
// loads DLL by its undecorated exports, serves one GET request per QUERY, all at once on
// worker threads (connection IDs 1, 2, ...), and prints per connection, in order:
//   conn=<id> result=<HttpExtensionProc's result> code=<dwHttpStatusCode>
//   status=<status text>|header=<header text with CR LF as \r\n>|body=<body>
// Exit code 0 when every export was found.
#include <windows.h>
// windows.h first: the extension header needs its types.
#include <fcntl.h>
#include <httpext.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Answer {
  std::string status, header, body;
};
std::mutex g_lock;
std::map<uintptr_t, Answer> g_answers;

BOOL WINAPI WriteClient(HCONN conn, void* buffer, DWORD* bytes, DWORD) {
  std::lock_guard<std::mutex> hold(g_lock);
  g_answers[reinterpret_cast<uintptr_t>(conn)].body.append(static_cast<char*>(buffer), *bytes);
  return TRUE;
}

BOOL WINAPI ServerSupportFunction(HCONN conn, DWORD request, void* buffer, DWORD* size,
                                  DWORD* dataType) {
  if (request != HSE_REQ_SEND_RESPONSE_HEADER) return FALSE;
  std::lock_guard<std::mutex> hold(g_lock);
  Answer& a = g_answers[reinterpret_cast<uintptr_t>(conn)];
  a.status = buffer ? static_cast<char*>(buffer) : "";
  const char* header = reinterpret_cast<char*>(dataType);
  a.header = header ? std::string(header, size ? *size : std::strlen(header)) : "";
  return TRUE;
}

using TVersion = BOOL(WINAPI*)(HSE_VERSION_INFO*);
using TProc = DWORD(WINAPI*)(EXTENSION_CONTROL_BLOCK*);
TProc g_proc = nullptr;

struct Request {
  EXTENSION_CONTROL_BLOCK ecb = {};
  std::string query;
  DWORD result = 0;
};

DWORD WINAPI Serve(void* param) {
  auto* r = static_cast<Request*>(param);
  r->result = g_proc(&r->ecb);
  return 0;
}

std::string Shown(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  _setmode(_fileno(stdout), _O_BINARY);
  HMODULE dll = LoadLibraryA(argv[1]);
  if (!dll) return 3;
  auto version = reinterpret_cast<TVersion>(
      reinterpret_cast<void*>(GetProcAddress(dll, "GetExtensionVersion")));
  g_proc =
      reinterpret_cast<TProc>(reinterpret_cast<void*>(GetProcAddress(dll, "HttpExtensionProc")));
  auto terminate = reinterpret_cast<BOOL(WINAPI*)(DWORD)>(
      reinterpret_cast<void*>(GetProcAddress(dll, "TerminateExtension")));
  if (!version || !g_proc || !terminate) return 4;
  HSE_VERSION_INFO info = {};
  if (!version(&info)) return 5;
  std::vector<Request> requests(static_cast<size_t>(argc - 2));
  std::vector<HANDLE> threads;
  char method[] = "GET";
  char empty[] = "";
  for (size_t i = 0; i < requests.size(); ++i) {
    Request& r = requests[i];
    r.query = argv[i + 2];
    r.ecb.cbSize = sizeof r.ecb;
    r.ecb.ConnID = reinterpret_cast<HCONN>(static_cast<uintptr_t>(i + 1));
    r.ecb.lpszMethod = method;
    r.ecb.lpszQueryString = &r.query[0];
    r.ecb.lpszPathInfo = empty;
    r.ecb.WriteClient = WriteClient;
    r.ecb.ServerSupportFunction = ServerSupportFunction;
    threads.push_back(CreateThread(nullptr, 0, Serve, &r, 0, nullptr));
    Sleep(20);
  }
  for (HANDLE t : threads) {
    WaitForSingleObject(t, INFINITE);
    CloseHandle(t);
  }
  for (size_t i = 0; i < requests.size(); ++i) {
    const Answer& a = g_answers[i + 1];
    std::printf("conn=%u result=%lu code=%lu\nstatus=%s|header=%s|body=%s\n",
                static_cast<unsigned>(i + 1), static_cast<unsigned long>(requests[i].result),
                static_cast<unsigned long>(requests[i].ecb.dwHttpStatusCode), a.status.c_str(),
                Shown(a.header).c_str(), a.body.c_str());
  }
  terminate(HSE_TERM_MUST_UNLOAD);
  FreeLibrary(dll);
  return 0;
}
