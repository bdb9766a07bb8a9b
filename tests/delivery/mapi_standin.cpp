// A stand-in Simple MAPI library for the mail-client tests, registered as the default mail
// client. It logs every call as one line to the file named by VL_MAPI_LOG and fails on request
// (VL_MAPI_FAIL): "logon", "send", "resolveN" (the Nth resolve of this load), "long" (resolved
// names and addresses of 300 characters).
#include <windows.h>
// After windows.h, which it needs.
#include <mapi.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int g_resolves = 0;

std::string Env(const char* name) {
  char value[512] = {};
  const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return n > 0 && n < sizeof value ? value : "";
}

void Log(const std::string& line) {
  const std::string path = Env("VL_MAPI_LOG");
  if (path.empty()) return;
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

std::string Text(const char* s) { return s ? s : "(null)"; }

}  // namespace

extern "C" {

ULONG WINAPI MAPILogon(ULONG_PTR, LPSTR, LPSTR, FLAGS flags, ULONG, LPLHANDLE session) {
  Log("Logon " + std::to_string(flags));
  if (Env("VL_MAPI_FAIL") == "logon") return MAPI_E_LOGIN_FAILURE;
  *session = 0x5150;
  return SUCCESS_SUCCESS;
}

ULONG WINAPI MAPILogoff(LHANDLE session, ULONG_PTR, FLAGS, ULONG) {
  Log("Logoff " + std::to_string(session));
  return SUCCESS_SUCCESS;
}

ULONG WINAPI MAPIResolveName(LHANDLE, ULONG_PTR, LPSTR name, FLAGS, ULONG, lpMapiRecipDesc* entry) {
  ++g_resolves;
  Log("ResolveName " + Text(name));
  if (Env("VL_MAPI_FAIL") == "resolve" + std::to_string(g_resolves))
    return MAPI_E_UNKNOWN_RECIPIENT;
  const bool longTexts = Env("VL_MAPI_FAIL") == "long";
  const std::string display = longTexts ? std::string(300, 'n') : "Name of " + Text(name);
  const std::string address = longTexts ? std::string(300, 'a') : "SMTP:" + Text(name);
  // One block, as a real client allocates it: the record, the entry identifier, the texts.
  const size_t size = sizeof(MapiRecipDesc) + 4 + display.size() + 1 + address.size() + 1;
  auto* block = static_cast<char*>(std::calloc(1, size));
  auto* record = reinterpret_cast<MapiRecipDesc*>(block);
  char* id = block + sizeof(MapiRecipDesc);
  std::memcpy(id, "EID", 3);
  id[3] = static_cast<char>('0' + g_resolves);
  char* displayCopy = id + 4;
  std::memcpy(displayCopy, display.c_str(), display.size() + 1);
  char* addressCopy = displayCopy + display.size() + 1;
  std::memcpy(addressCopy, address.c_str(), address.size() + 1);
  record->ulRecipClass = MAPI_TO;
  record->lpszName = displayCopy;
  record->lpszAddress = addressCopy;
  record->ulEIDSize = 4;
  record->lpEntryID = id;
  *entry = record;
  return SUCCESS_SUCCESS;
}

ULONG WINAPI MAPIFreeBuffer(LPVOID buffer) {
  Log("FreeBuffer");
  std::free(buffer);
  return SUCCESS_SUCCESS;
}

ULONG WINAPI MAPISendMail(LHANDLE session, ULONG_PTR, lpMapiMessage message, FLAGS flags, ULONG) {
  Log("SendMail " + std::to_string(session) + " " + std::to_string(flags) +
      " subject=" + Text(message->lpszSubject) + " body=" + Text(message->lpszNoteText) +
      " recipients=" + std::to_string(message->nRecipCount) +
      " files=" + std::to_string(message->nFileCount) +
      (message->lpOriginator ? " originator" : "") + (message->flFlags ? " flags" : ""));
  for (ULONG i = 0; i < message->nRecipCount; ++i) {
    const MapiRecipDesc& r = message->lpRecips[i];
    Log("To " + std::to_string(r.ulRecipClass) + " " + Text(r.lpszName) + " " +
        Text(r.lpszAddress) + " " +
        std::string(static_cast<const char*>(r.lpEntryID), r.ulEIDSize));
  }
  for (ULONG i = 0; i < message->nFileCount; ++i) {
    const MapiFileDesc& f = message->lpFiles[i];
    Log("File " + std::to_string(static_cast<long>(f.nPosition)) + " " + Text(f.lpszPathName) +
        " " + Text(f.lpszFileName) + (f.lpFileType ? " typed" : ""));
  }
  if (Env("VL_MAPI_FAIL") == "send") return MAPI_E_FAILURE;
  return SUCCESS_SUCCESS;
}

}  // extern "C"
