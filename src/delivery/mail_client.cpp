#include "delivery/mail_client.h"

#include <windows.h>
// After windows.h, which it needs.
#include <mapi.h>

#include <cstring>
#include <deque>

#include "core/internal_errors.h"
#include "core/trace.h"
#include "delivery/address_list.h"
#include "delivery/mailto_link.h"
#include "platform/process_window.h"
#include "platform/registry_text.h"
#include "runtime/file_names.h"
#include "runtime/system.h"

namespace vl::delivery {
namespace {

// Longest name or address copied out of a resolved entry.
constexpr size_t MaxMapiText = 256;

template <typename Proc>
Proc LibraryProc(HMODULE library, const char* name) {
  return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

// At most MaxMapiText characters of a text the mail client owns (never read past them).
std::string CopyMapiText(const char* text) {
  return text != nullptr ? std::string(text, strnlen(text, MaxMapiText)) : std::string();
}

// Frees the library when the send ends, whichever way.
struct LibraryHolder {
  HMODULE Library = nullptr;
  ~LibraryHolder() {
    if (Library) FreeLibrary(Library);
  }
};

// Logs off when the send ends; declared after the library so it runs first.
struct SessionHolder {
  LPMAPILOGOFF Logoff = nullptr;
  LHANDLE Session = 0;
  bool Open = false;
  ~SessionHolder() {
    if (Open) Logoff(Session, 0, 0, 0);
  }
};

// Releases the resolved entries (their entry identifiers are in use until the message is sent);
// declared after the session so it runs before the log-off.
struct EntriesHolder {
  LPMAPIFREEBUFFER FreeBuffer = nullptr;
  std::vector<lpMapiRecipDesc> Entries;
  ~EntriesHolder() {
    for (lpMapiRecipDesc entry : Entries) FreeBuffer(entry);
  }
};

// The mail client's library: the registered default client's DLLPath, else "mapi32.dll".
HMODULE LoadMapiLibrary() {
  const std::string client =
      platform::ReadRegistryText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Clients\\Mail", "");
  std::string path;
  if (!TrimText(client).empty())
    path = ExpandPath(platform::ReadRegistryText(HKEY_LOCAL_MACHINE,
                                                 "SOFTWARE\\Clients\\Mail\\" + client, "DLLPath"));
  Trace("LoadMapiLibrary", {client, path});
  HMODULE library = TrimText(path).empty() ? nullptr : LoadLibraryA(path.c_str());
  if (!library) library = LoadLibraryA("mapi32.dll");
  return library;
}

bool SendMapiMailUnguarded(const std::string& recipients, const std::string& subject,
                           const std::string& body, const std::vector<std::string>& attachments) {
  const std::vector<std::string> addresses = SplitAddressList(recipients);
  LibraryHolder library;
  library.Library = LoadMapiLibrary();
  if (!library.Library) {
    SetStepError(eeEmailMAPIError, "Cannot open the MAPI dll.");
    return false;
  }
  auto logon = LibraryProc<LPMAPILOGON>(library.Library, "MAPILogon");
  auto logoff = LibraryProc<LPMAPILOGOFF>(library.Library, "MAPILogoff");
  auto sendMail = LibraryProc<LPMAPISENDMAIL>(library.Library, "MAPISendMail");
  auto resolveName = LibraryProc<LPMAPIRESOLVENAME>(library.Library, "MAPIResolveName");
  auto freeBuffer = LibraryProc<LPMAPIFREEBUFFER>(library.Library, "MAPIFreeBuffer");
  if (!logon || !logoff || !sendMail || !resolveName || !freeBuffer) {
    SetStepError(eeEmailMAPIError, "Cannot found the MAPI functions.");
    return false;
  }

  SessionHolder session;
  session.Logoff = logoff;
  if (logon(0, nullptr, nullptr, MAPI_LOGON_UI, 0, &session.Session) != SUCCESS_SUCCESS) {
    SetStepError(eeEmailMAPIError, "Cannot LogOn into the MAPI service.");
    return false;
  }
  session.Open = true;
  EntriesHolder entries;
  entries.FreeBuffer = freeBuffer;

  // The texts the records point at; a deque never moves what it holds.
  std::deque<std::string> texts;
  auto text = [&texts](const std::string& value) -> char* {
    texts.push_back(value);
    return &texts.back()[0];
  };

  std::vector<MapiFileDesc> files;
  for (const std::string& path : attachments) {
    if (path.empty()) continue;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    char full[MAX_PATH * 2] = {};
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    const std::string fullPath = (n > 0 && n < sizeof full) ? std::string(full, n) : path;
    MapiFileDesc file{};
    file.nPosition = static_cast<ULONG>(-1);
    file.lpszPathName = text(fullPath);
    file.lpszFileName = text(rtl::ExtractFileName(fullPath));
    files.push_back(file);
  }

  std::vector<MapiRecipDesc> recipientRecords;
  for (const std::string& address : addresses) {
    lpMapiRecipDesc entry = nullptr;
    if (resolveName(session.Session, 0, text(address), 0, 0, &entry) != SUCCESS_SUCCESS) {
      if (entry) entries.Entries.push_back(entry);
      Trace("SendMapiMail: not resolved", {address});
      return false;
    }
    if (!entry) return false;
    entries.Entries.push_back(entry);
    if (!entry->lpszName && !entry->lpszAddress) return false;
    MapiRecipDesc record{};
    record.ulRecipClass = MAPI_TO;
    const std::string name = CopyMapiText(entry->lpszName);
    record.lpszName = entry->lpszName ? text(name) : nullptr;
    record.lpszAddress = text(entry->lpszAddress ? CopyMapiText(entry->lpszAddress) : name);
    record.ulEIDSize = entry->ulEIDSize;
    record.lpEntryID = entry->lpEntryID;
    recipientRecords.push_back(record);
  }

  MapiMessage message{};
  message.lpszSubject = text(subject);
  message.lpszNoteText = text(body);
  message.nRecipCount = static_cast<ULONG>(recipientRecords.size());
  message.lpRecips = recipientRecords.empty() ? nullptr : recipientRecords.data();
  message.nFileCount = static_cast<ULONG>(files.size());
  message.lpFiles = files.empty() ? nullptr : files.data();
  if (sendMail(session.Session, 0, &message, MAPI_LOGON_UI, 0) != SUCCESS_SUCCESS) {
    SetStepError(eeEmailMAPIError, "Cannot send the MAPI message.");
    return false;
  }
  return true;
}

bool SendMapiMailSeam(const std::string& recipient, const std::string& subject,
                      const std::string& body, const std::string& attachment) {
  return SendMapiMail(recipient, subject, body, {attachment});
}

}  // namespace

std::string ExpandPath(const std::string& text) {
  char buffer[2048];
  const DWORD n = ExpandEnvironmentStringsA(text.c_str(), buffer, sizeof buffer);
  if (n == 0 || n > sizeof buffer) return text;
  return std::string(buffer, strnlen(buffer, sizeof buffer));
}

std::string AnsiToUtf8(const std::string& text) {
  if (text.empty()) return text;
  const int wide =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (wide <= 0) return text;
  std::wstring utf16(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &utf16[0], wide);
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return text;
  std::string result(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, &result[0], bytes, nullptr, nullptr);
  return result;
}

bool SendMapiMail(const std::string& recipients, const std::string& subject,
                  const std::string& body, const std::vector<std::string>& attachments) {
  Trace("SendMapiMail", {recipients, subject}, 2);
  bool result = false;
  try {
    result = SendMapiMailUnguarded(recipients, subject, body, attachments);
  } catch (...) {
    ReportStepError(eeEmailMAPIError, "MAPI");
    result = false;
  }
  Trace("SendMapiMail=", {result}, -2);
  return result;
}

bool SendMailto(const std::string& recipients, const std::string& subject, const std::string& body,
                const std::string& reportTail) {
  Trace("SendMailto", {recipients, subject}, 2);
  bool result = false;
  try {
    const std::string commandTemplate = ExpandPath(
        platform::ReadRegistryText(HKEY_CLASSES_ROOT, "\\mailto\\shell\\open\\command", ""));
    MailtoFields fields;
    fields.Recipients = AnsiToUtf8(recipients);
    fields.Subject = AnsiToUtf8(subject);
    fields.Body = AnsiToUtf8(body);
    fields.Report = AnsiToUtf8(reportTail);
    const std::string line = MailtoCommandLine(commandTemplate, fields);
    std::vector<char> commandLine(line.begin(), line.end());
    commandLine.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_NEW_PROCESS_GROUP | NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                        &startup, &process)) {
      SetStepError(eeEmailShellError, rtl::SysErrorMessage(GetLastError()));
    } else {
      WaitForInputIdle(process.hProcess, 10000);
      // The program's main window, looked for during at most 2 seconds.
      HWND window = nullptr;
      const DWORD start = GetTickCount();
      while (!(window = platform::FindProcessWindow(process.dwProcessId)) &&
             GetTickCount() - start < 2000)
        Sleep(50);
      if (window) {
        SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        ShowWindow(window, SW_SHOWMAXIMIZED);
      }
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
      result = true;
    }
  } catch (...) {
    ReportStepError(eeEmailShellError, "mailto");
    result = false;
  }
  Trace("SendMailto=", {result}, -2);
  return result;
}

void InstallDeliverySeams() { core::Seams().SendMapiMail = &SendMapiMailSeam; }

}  // namespace vl::delivery
