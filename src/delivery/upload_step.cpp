#include "delivery/upload_step.h"

#include <windows.h>
#include <winhttp.h>

#include <cstdio>
#include <vector>

#include "core/file_names.h"
#include "core/internal_errors.h"
#include "core/trace.h"
#include "core/upload_url.h"
#include "delivery/address_list.h"
#include "delivery/client_socket.h"
#include "delivery/send_step.h"
#include "delivery/send_texts.h"
#include "delivery/socket_seams.h"
#include "delivery/upload_form.h"
#include "dialogs/send_progress.h"
#include "runtime/system.h"

namespace vl::delivery {

namespace {

class EUploadError : public Exception {
 public:
  using Exception::Exception;
};

// The WinHTTP routines the upload uses, from winhttp.dll loaded once per process.
struct TWinHttp {
  HMODULE Library = nullptr;
  HINTERNET(WINAPI* Open)(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, DWORD) = nullptr;
  HINTERNET(WINAPI* Connect)(HINTERNET, LPCWSTR, INTERNET_PORT, DWORD) = nullptr;
  HINTERNET(WINAPI* OpenRequest)
  (HINTERNET, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR*, DWORD) = nullptr;
  BOOL(WINAPI* SetTimeouts)(HINTERNET, int, int, int, int) = nullptr;
  BOOL(WINAPI* SetOption)(HINTERNET, DWORD, LPVOID, DWORD) = nullptr;
  BOOL(WINAPI* SendRequest)(HINTERNET, LPCWSTR, DWORD, LPVOID, DWORD, DWORD, DWORD_PTR) = nullptr;
  BOOL(WINAPI* WriteData)(HINTERNET, LPCVOID, DWORD, LPDWORD) = nullptr;
  BOOL(WINAPI* ReceiveResponse)(HINTERNET, LPVOID) = nullptr;
  BOOL(WINAPI* QueryHeaders)(HINTERNET, DWORD, LPCWSTR, LPVOID, LPDWORD, LPDWORD) = nullptr;
  BOOL(WINAPI* ReadData)(HINTERNET, LPVOID, DWORD, LPDWORD) = nullptr;
  BOOL(WINAPI* CloseHandle)(HINTERNET) = nullptr;
};

template <class F>
void Bind(HMODULE library, const char* name, F& routine, bool& all) {
  routine = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  all = all && routine != nullptr;
}

const TWinHttp* WinHttp() {
  static const TWinHttp* loaded = [] {
    static TWinHttp api;
    api.Library = LoadLibraryA("winhttp.dll");
    if (!api.Library) return static_cast<const TWinHttp*>(nullptr);
    bool all = true;
    Bind(api.Library, "WinHttpOpen", api.Open, all);
    Bind(api.Library, "WinHttpConnect", api.Connect, all);
    Bind(api.Library, "WinHttpOpenRequest", api.OpenRequest, all);
    Bind(api.Library, "WinHttpSetTimeouts", api.SetTimeouts, all);
    Bind(api.Library, "WinHttpSetOption", api.SetOption, all);
    Bind(api.Library, "WinHttpSendRequest", api.SendRequest, all);
    Bind(api.Library, "WinHttpWriteData", api.WriteData, all);
    Bind(api.Library, "WinHttpReceiveResponse", api.ReceiveResponse, all);
    Bind(api.Library, "WinHttpQueryHeaders", api.QueryHeaders, all);
    Bind(api.Library, "WinHttpReadData", api.ReadData, all);
    Bind(api.Library, "WinHttpCloseHandle", api.CloseHandle, all);
    return all ? static_cast<const TWinHttp*>(&api) : nullptr;
  }();
  return loaded;
}

// A WinHTTP handle closed on every path.
class THttpHandle {
 public:
  THttpHandle(const TWinHttp& api, HINTERNET handle) : api_(api), handle_(handle) {}
  ~THttpHandle() {
    if (handle_) api_.CloseHandle(handle_);
  }
  THttpHandle(const THttpHandle&) = delete;
  THttpHandle& operator=(const THttpHandle&) = delete;
  HINTERNET get() const { return handle_; }

 private:
  const TWinHttp& api_;
  HINTERNET handle_;
};

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// WinHTTP's failure of Call as the step's message.
[[noreturn]] void Fail(const TWinHttp& api, const char* call) {
  const DWORD code = GetLastError();
  std::string text;
  // Wine hands on the socket's own time-out.
  if (code == ERROR_WINHTTP_TIMEOUT || code == WSAETIMEDOUT) {
    text = "The server did not answer in time.";
  } else if (code == ERROR_WINHTTP_CANNOT_CONNECT || code == ERROR_WINHTTP_CONNECTION_ERROR) {
    text = "Cannot connect to the server.";
  } else if (code == ERROR_WINHTTP_SECURE_FAILURE) {
    text = "The server's certificate is not trusted.";
  } else {
    char buffer[512] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   api.Library, code, 0, buffer, sizeof buffer, nullptr);
    text = n > 0 ? TrimText(buffer) : std::string();
    if (text.empty()) text = TrimText(rtl::SysErrorMessage(code));
  }
  throw EUploadError(
      Format("%s (%s, error %lu)", text.c_str(), call, static_cast<unsigned long>(code)));
}

std::string ReadWholeFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string bytes;
  LARGE_INTEGER size{};
  if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < 0x40000000) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr) ||
        got != bytes.size())
      bytes.clear();
  }
  CloseHandle(file);
  return bytes;
}

// Posts Body; returns the HTTP status and the answer's first bytes.
DWORD PostForm(const core::TUploadUrl& url, const std::string& contentType, const std::string& body,
               std::string& answer) {
  const TWinHttp* loaded = WinHttp();
  if (!loaded) throw EUploadError("winhttp.dll or one of its routines cannot be loaded.");
  const TWinHttp& api = *loaded;
  // Only where a socket of ours may go.
  CheckedHostAddress(url.Host);
  dialogs::SetSendProgressText("Connecting with " + url.Host + "...");
  THttpHandle session(api, api.Open(L"VantorLog/4.5.4", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session.get()) Fail(api, "WinHttpOpen");
  const int timeout = static_cast<int>(Seams().HttpTimeout);
  if (!api.SetTimeouts(session.get(), timeout, timeout, timeout, timeout))
    Fail(api, "WinHttpSetTimeouts");
  THttpHandle connection(api, api.Connect(session.get(), Wide(url.Host).c_str(), url.Port, 0));
  if (!connection.get()) Fail(api, "WinHttpConnect");
  THttpHandle request(api,
                      api.OpenRequest(connection.get(), L"POST", Wide(url.Path).c_str(), nullptr,
                                      WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                      url.Secure ? WINHTTP_FLAG_SECURE : 0));
  if (!request.get()) Fail(api, "WinHttpOpenRequest");
  DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
  if (!api.SetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects,
                     sizeof noRedirects))
    Fail(api, "WinHttpSetOption");
  // The wait for the answer's headers has a time-out of its own (WinHttpSetTimeouts leaves it).
  DWORD answerTimeout = static_cast<DWORD>(timeout);
  if (!api.SetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &answerTimeout,
                     sizeof answerTimeout))
    Fail(api, "WinHttpSetOption");
  const std::wstring headers = Wide("Content-Type: " + contentType + "\r\n");
  if (!api.SendRequest(request.get(), headers.c_str(), static_cast<DWORD>(headers.size()),
                       WINHTTP_NO_REQUEST_DATA, 0, static_cast<DWORD>(body.size()), 0))
    Fail(api, "WinHttpSendRequest");
  dialogs::SetSendProgressText("Uploading the report...");
  size_t sent = 0;
  while (sent < body.size()) {
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(body.size() - sent, 64 * 1024));
    DWORD written = 0;
    if (!api.WriteData(request.get(), body.data() + sent, piece, &written) || written == 0)
      Fail(api, "WinHttpWriteData");
    sent += written;
    dialogs::SetSendProgressPosition(
        ProgressPercent(static_cast<int64_t>(sent), static_cast<int64_t>(body.size())));
  }
  if (!api.ReceiveResponse(request.get(), nullptr)) Fail(api, "WinHttpReceiveResponse");
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!api.QueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
    Fail(api, "WinHttpQueryHeaders");
  // The answer's start, for the error message (a server says why it refused).
  char buffer[512];
  DWORD got = 0;
  while (answer.size() < 512 && api.ReadData(request.get(), buffer, sizeof buffer, &got) && got > 0)
    answer.append(buffer, got);
  return status;
}

bool UploadOnce(const TUploadInput& input, const core::TUploadUrl& url,
                const std::string& contentType, const std::string& body) {
  dialogs::StartSendProgress(*input.Options, input.Host, true);
  dialogs::SetSendProgressRecipient(1, 1);
  dialogs::SetSendProgressPosition(0);
  bool ok = false;
  try {
    std::string answer;
    const DWORD status = PostForm(url, contentType, body, answer);
    Trace("UploadReport: answer", {static_cast<uint32_t>(status), answer});
    if (status < 200 || status > 299) {
      const std::string line = answer.substr(0, answer.find_first_of("\r\n"));
      throw EUploadError(Format("The server answered %lu%s%s", static_cast<unsigned long>(status),
                                line.empty() ? "." : ": ", line.c_str()));
    }
    ok = true;
  } catch (...) {
    ReportStepError(eeUploadError, "Upload");
  }
  try {
    dialogs::CloseSendProgress();
  } catch (...) {
  }
  return ok;
}

void CallErrorHandler(const TUploadInput& input, bool& retry) {
  if (!input.OnError) return;
  const std::function<void()> call = [&input, &retry] {
    try {
      input.OnError(ActionAfterSending, retry);
    } catch (...) {
      Trace("UploadReport: a handler raised");
    }
  };
  try {
    if (input.CallOnExceptionThread) {
      input.CallOnExceptionThread(call);
    } else {
      call();
    }
  } catch (...) {
    Trace("UploadReport: the handler call failed");
  }
}

void RandomBytes(uint8_t (&bytes)[16]) {
  using TGenRandom = BOOLEAN(WINAPI*)(PVOID, ULONG);
  HMODULE advapi = LoadLibraryA("advapi32.dll");
  auto generate = advapi ? reinterpret_cast<TGenRandom>(
                               reinterpret_cast<void*>(GetProcAddress(advapi, "SystemFunction036")))
                         : nullptr;
  if (generate && generate(bytes, sizeof bytes)) return;
  // No system generator: the clock, the process and the thread, mixed.
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  uint64_t x = static_cast<uint64_t>(counter.QuadPart) ^ (uint64_t{GetCurrentProcessId()} << 32) ^
               GetTickCount() ^ (uint64_t{GetCurrentThreadId()} << 16);
  for (uint8_t& b : bytes) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    b = static_cast<uint8_t>(x >> 24);
  }
}

}  // namespace

std::string InstallationGuid(const std::string& path) {
  std::string kept = TrimText(ReadWholeFile(path));
  if (IsInstallationGuid(kept)) return kept;
  uint8_t bytes[16];
  RandomBytes(bytes);
  const std::string fresh = FormatInstallationGuid(bytes);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    // Another process made it meanwhile: its identifier is the installation's.
    kept = TrimText(ReadWholeFile(path));
    return IsInstallationGuid(kept) ? kept : fresh;
  }
  const std::string line = fresh + "\r\n";
  DWORD written = 0;
  const bool ok =
      WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
      written == line.size();
  CloseHandle(file);
  if (!ok) DeleteFileA(path.c_str());
  return fresh;
}

std::string ModuleVersionText(const std::string& moduleFile) {
  using TSize = DWORD(WINAPI*)(LPCSTR, LPDWORD);
  using TInfo = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
  using TQuery = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);
  HMODULE version = LoadLibraryA("version.dll");
  if (!version) return "";
  auto size = reinterpret_cast<TSize>(
      reinterpret_cast<void*>(GetProcAddress(version, "GetFileVersionInfoSizeA")));
  auto info = reinterpret_cast<TInfo>(
      reinterpret_cast<void*>(GetProcAddress(version, "GetFileVersionInfoA")));
  auto query =
      reinterpret_cast<TQuery>(reinterpret_cast<void*>(GetProcAddress(version, "VerQueryValueA")));
  std::string text;
  DWORD ignored = 0;
  const DWORD bytes = size && info && query ? size(moduleFile.c_str(), &ignored) : 0;
  if (bytes > 0) {
    std::vector<uint8_t> block(bytes);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (info(moduleFile.c_str(), 0, bytes, block.data()) &&
        query(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length) && fixed &&
        length >= sizeof(VS_FIXEDFILEINFO)) {
      char number[64];
      std::snprintf(number, sizeof number, "%lu.%lu.%lu.%lu",
                    static_cast<unsigned long>(HIWORD(fixed->dwFileVersionMS)),
                    static_cast<unsigned long>(LOWORD(fixed->dwFileVersionMS)),
                    static_cast<unsigned long>(HIWORD(fixed->dwFileVersionLS)),
                    static_cast<unsigned long>(LOWORD(fixed->dwFileVersionLS)));
      text = number;
    }
  }
  FreeLibrary(version);
  return text;
}

bool UploadReport(const TUploadInput& input) {
  Trace("UploadReport", {}, 2);
  ClearStepError();
  if (!input.Options) {
    Trace("UploadReport=", {false}, -2);
    return false;
  }
  bool stepResult = false;
  try {
    const TVantorModuleOptions& options = *input.Options;
    core::TUploadUrl url;
    std::string why;
    if (!core::SplitUploadUrl(options.UploadUrl(), url, why))
      throw EUploadError("The upload address cannot be used: " + why + ".");
    const std::string minidump =
        input.MinidumpFile.empty() ? std::string() : ReadWholeFile(input.MinidumpFile);
    if (!LooksLikeMinidump(reinterpret_cast<const uint8_t*>(minidump.data()), minidump.size()))
      throw EUploadError("There is no minidump to upload.");
    const std::string module = core::ChangeFileExt(core::ExtractFileName(options.ModuleName()), "");
    const std::string guid =
        InstallationGuid(core::ExtractFilePath(options.OutputLogFile()) + "VantorLog.guid");
    const std::vector<TFormField> fields =
        ReportFormFields(module, ModuleVersionText(options.ModuleName()), guid, minidump,
                         ReportFileBytes(input.ReportText));
    LARGE_INTEGER seed{};
    QueryPerformanceCounter(&seed);
    const std::string boundary = ChooseFormBoundary(fields, static_cast<uint64_t>(seed.QuadPart));
    const std::string body = BuildFormBody(fields, boundary);
    bool retry = false;
    do {
      stepResult = UploadOnce(input, url, FormContentType(boundary), body);
      retry = false;
      if (!stepResult) CallErrorHandler(input, retry);
    } while (retry);
  } catch (...) {
    ReportStepError(eeUploadError, "Upload");
    stepResult = false;
  }
  Trace("UploadReport=", {stepResult}, -2);
  return stepResult;
}

}  // namespace vl::delivery
