// The launcher run for real: ordalin.exe copied into a scratch folder (with a space in its path)
// beside a stand-in tessaly.exe, a stand-in client window, the real registry and the real
// session file in the user's application-data folder.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <tlhelp32.h>
#include <windows.h>

#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/command_line.h"
#include "support/win_process.h"

using namespace vl;

using testsupport::BoxText;
using testsupport::ChildProcess;
using testsupport::ExeFolder;
using testsupport::FileExists;
using testsupport::ReadFileText;
using testsupport::WriteFileText;

namespace {

const char kClassKey[] = "SOFTWARE\\Classes\\ORDALIN";
const char kIconKey[] = "SOFTWARE\\Classes\\ORDALIN\\DefaultIcon";
const char kCommandKey[] = "SOFTWARE\\Classes\\ORDALIN\\Shell\\open\\command";
const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// ---- Files and folders ----

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = folder + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(path);
      else
        DeleteFileA(path.c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}

std::string AppDataFolder() {
  char path[MAX_PATH + 1] = {};
  SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, path);
  return path;
}

std::string SessionFile() { return AppDataFolder() + "\\tessaly.dat"; }

// A folder of its own for one case, holding a copy of the launcher and (unless left out) the
// stand-in tessaly.exe. Its path has a space in it.
struct Scratch {
  explicit Scratch(const std::string& name, bool withClientExe = true) {
    std::string root = ExeFolder() + "scratch";
    CreateDirectoryA(root.c_str(), nullptr);
    std::string path = root + "\\" + name + " case";
    RemoveTree(path);
    CreateDirectoryA(path.c_str(), nullptr);
    folder = path + "\\";
    EXPECT_TRUE(CopyFileA((ExeFolder() + ORDALIN_EXE_RELATIVE).c_str(), Launcher().c_str(), FALSE));
    if (withClientExe) {
      EXPECT_TRUE(CopyFileA((ExeFolder() + "tessaly.exe").c_str(), (folder + "tessaly.exe").c_str(),
                            FALSE));
    }
  }
  std::string Launcher() const { return folder + "ordalin.exe"; }
  void WriteAppIni(const std::string& text) const { WriteFileText(folder + "App.ini", text); }

  std::string folder;  // with a trailing backslash
};

// ---- The launcher's run ----

struct Outcome {
  bool boxShown = false;
  BoxText box;
  DWORD exitCode = 0;
};

// Runs the scratch folder's launcher with Arguments (started from the test's own folder, so
// that only the executable's path can lead it to its folder) and answers its error box.
Outcome Launch(const Scratch& scratch, const std::string& arguments = "") {
  std::string commandLine = "\"" + scratch.Launcher() + "\"";
  if (!arguments.empty()) commandLine += " " + arguments;
  ChildProcess child(commandLine, ExeFolder());
  EXPECT_TRUE(child.Started());
  Outcome out;
  out.boxShown = child.DismissBox(out.box);
  out.exitCode = child.Wait();
  return out;
}

void ExpectQuietSuccess(const Outcome& out) {
  EXPECT_FALSE(out.boxShown) << out.box.caption << ": " << out.box.text;
  EXPECT_EQ(out.exitCode, 0u);
}

// ---- The stand-in tessaly.exe ----

struct ClientStart {
  std::string program;
  std::vector<std::string> arguments;
  std::string folder;
};

// Waits until no stand-in tessaly.exe runs any more (a start by the launcher has created its
// process before the launcher ends), then reads what the starts in the scratch folder recorded.
std::vector<ClientStart> ClientStarts(const Scratch& scratch) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (lstrcmpiA(entry.szExeFile, "tessaly.exe") != 0) continue;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
    if (process) {
      WaitForSingleObject(process, 30000);
      CloseHandle(process);
    }
  }
  CloseHandle(snapshot);

  std::vector<ClientStart> starts;
  std::istringstream log(ReadFileText(scratch.folder + "tessaly.log"));
  std::string commandLine, folder;
  while (std::getline(log, commandLine) && std::getline(log, folder)) {
    std::vector<std::string> args = rtl::SplitCommandLine(commandLine.substr(8));  // "cmdline="
    ClientStart start;
    start.program = args.empty() ? "" : args[0];
    if (!args.empty()) start.arguments.assign(args.begin() + 1, args.end());
    start.folder = folder.substr(4);  // "cwd="
    starts.push_back(start);
  }
  return starts;
}

// ---- The stand-in client window ----

struct CopyDataRecord {
  unsigned long long wParam = 0, dwData = 0, cbData = 0;
  std::string bytes;
};

class StandInClient {
 public:
  explicit StandInClient(const std::string& title) : title_(title) {
    static int counter = 0;
    record_ = ExeFolder() + "client-" + std::to_string(++counter) + ".rec";
    DeleteFileA(record_.c_str());
    process_ = std::make_unique<ChildProcess>("\"" + ExeFolder() + "stand_in_client.exe\" \"" +
                                              title + "\" \"" + record_ + "\"");
    for (int i = 0; i < 400 && !window_; ++i) {
      HWND found = FindWindowA("TMainTessaly", title.c_str());
      DWORD pid = 0;
      if (found) GetWindowThreadProcessId(found, &pid);
      if (found && pid == process_->Id())
        window_ = found;
      else
        Sleep(50);
    }
    EXPECT_TRUE(window_) << "the stand-in client did not show its window";
  }
  ~StandInClient() {
    if (window_) PostMessageA(window_, WM_CLOSE, 0, 0);
    process_->Wait();
  }

  std::vector<CopyDataRecord> Messages() const {
    std::vector<CopyDataRecord> records;
    std::istringstream in(ReadFileText(record_));
    std::string line;
    std::regex shape("wParam=(\\d+) dwData=(\\d+) cbData=(\\d+) bytes=([0-9a-f]*)");
    while (std::getline(in, line)) {
      std::smatch m;
      if (!std::regex_match(line, m, shape)) {
        ADD_FAILURE() << "unexpected record: " << line;
        continue;
      }
      CopyDataRecord r;
      r.wParam = std::stoull(m[1]);
      r.dwData = std::stoull(m[2]);
      r.cbData = std::stoull(m[3]);
      std::string hex = m[4];
      for (size_t i = 0; i + 1 < hex.size(); i += 2)
        r.bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
      records.push_back(r);
    }
    return records;
  }

 private:
  std::string title_;
  std::string record_;
  std::unique_ptr<ChildProcess> process_;
  HWND window_ = nullptr;
};

// The parameter string as it must arrive: its bytes and one zero byte.
void ExpectMessage(const CopyDataRecord& r, const std::string& parameter) {
  EXPECT_EQ(r.wParam, 66561u);
  EXPECT_EQ(r.dwData, 0u);
  EXPECT_EQ(r.cbData, parameter.size() + 1);
  EXPECT_EQ(r.bytes, parameter + std::string(1, '\0'));
}

// ---- The registry ----

struct RegValue {
  bool present = false;
  DWORD type = 0;
  std::string data;  // raw bytes, terminating zero included
};

RegValue ReadValue(const char* key, const char* name) {
  RegValue v;
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return v;
  char data[1024] = {};
  DWORD size = sizeof data;
  if (RegQueryValueExA(opened, name, nullptr, &v.type, reinterpret_cast<BYTE*>(data), &size) ==
      ERROR_SUCCESS) {
    v.present = true;
    v.data.assign(data, size);
  }
  RegCloseKey(opened);
  return v;
}

void ExpectString(const char* key, const char* name, const std::string& text) {
  RegValue v = ReadValue(key, name);
  ASSERT_TRUE(v.present) << key << " [" << name << "]";
  EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ)) << key << " [" << name << "]";
  EXPECT_EQ(v.data, text + std::string(1, '\0')) << key << " [" << name << "]";
}

void ExpectRegisteredFor(const Scratch& scratch) {
  const std::string command = "\"" + scratch.Launcher() + "\" %1";
  ExpectString(kClassKey, "", "ORDALIN");
  ExpectString(kClassKey, "URL Protocol", command);
  ExpectString(kIconKey, "", "%SystemRoot%\\system32\\url.dll,0");
  ExpectString(kCommandKey, "", command);
}

bool KeyExists(const char* key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  RegCloseKey(opened);
  return true;
}

void WriteValue(const char* key, const char* name, const std::string& text) {
  HKEY created = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &created, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(created, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>(text.size() + 1));
  RegCloseKey(created);
}

// Sets the key's access list: null gives everyone full access; otherwise everyone may read the
// key and change its access list, nothing more (values cannot be written, subkeys not created).
void SetKeyAccess(const char* key, bool readOnly) {
  HKEY opened = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, WRITE_DAC, &opened), ERROR_SUCCESS) << key;
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
  alignas(DWORD) BYTE aclBuffer[256];
  auto* acl = reinterpret_cast<ACL*>(aclBuffer);
  InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION);
  AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ | WRITE_DAC, everyone);
  SECURITY_DESCRIPTOR descriptor;
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&descriptor, TRUE, readOnly ? acl : nullptr, FALSE);
  EXPECT_EQ(RegSetKeySecurity(opened, DACL_SECURITY_INFORMATION, &descriptor), ERROR_SUCCESS);
  RegCloseKey(opened);
  FreeSid(everyone);
}

void DeleteKeyTree(HKEY root, const std::string& key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) == ERROR_SUCCESS) {
    std::vector<std::string> children;
    char name[256];
    for (DWORD i = 0;; ++i) {
      DWORD size = sizeof name;
      if (RegEnumKeyExA(opened, i, name, &size, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS)
        break;
      children.push_back(name);
    }
    RegCloseKey(opened);
    for (const auto& child : children) DeleteKeyTree(root, key + "\\" + child);
  }
  RegDeleteKeyA(root, key.c_str());
}

// Every case starts without the protocol registration and without a session file, and leaves
// the shared registry as it found it.
class Launcher : public ::testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  static void Clean() {
    DeleteKeyTree(HKEY_LOCAL_MACHINE, kClassKey);
    DeleteFileA(SessionFile().c_str());
  }
};

}  // namespace

TEST_F(Launcher, HandsTheLinkToTheRunningClient) {
  Scratch scratch("forward");
  StandInClient client("Qorvel");

  ExpectQuietSuccess(Launch(scratch, "ordalin://call/12345/"));
  ExpectQuietSuccess(Launch(scratch, "ORDALIN://call/1"));
  ExpectQuietSuccess(Launch(scratch, "ordalin://"));
  // Only the first argument counts; quotes hold an argument with spaces together.
  ExpectQuietSuccess(Launch(scratch, "\"ordalin://call/1 2/\" ordalin://second third"));

  auto messages = client.Messages();
  ASSERT_EQ(messages.size(), 4u);
  ExpectMessage(messages[0], "call12345");
  ExpectMessage(messages[1], "ORDALIN:call1");
  ExpectMessage(messages[2], "");
  EXPECT_EQ(messages[2].cbData, 1u);
  ExpectMessage(messages[3], "call1 2");

  EXPECT_TRUE(ClientStarts(scratch).empty());
  // The link path writes the session file too, and leaves the registration alone.
  EXPECT_EQ(ReadFileText(SessionFile()), scratch.folder + "tessaly.exe {sessionId}\r\n");
  EXPECT_FALSE(KeyExists(kClassKey));
}

// The crash reporter is linked in but, without a data block, starts inactive: its trace (switched
// on by a last argument holding DEBUG, saved after every line with SAVE) shows no hook at all.
TEST_F(Launcher, CarriesTheCrashReporterInactive) {
  Scratch scratch("inactive");
  ExpectQuietSuccess(Launch(scratch, "ordalin://call/7/ DEBUGSAVE"));
  const std::string trace = ReadFileText(scratch.folder + "ordalin.log");
  EXPECT_NE(trace.find("StartCapture=('inactive')"), std::string::npos) << trace;
  EXPECT_EQ(trace.find("HookProcedure"), std::string::npos) << trace;
  EXPECT_EQ(trace.find("HookImport"), std::string::npos) << trace;
  ASSERT_EQ(ClientStarts(scratch).size(), 1u);
}

TEST_F(Launcher, StartsTheClientWhenNoneRuns) {
  Scratch scratch("start");
  ExpectQuietSuccess(Launch(scratch, "ordalin://call/12345/ further"));
  ExpectQuietSuccess(Launch(scratch, "ordalin://"));

  auto starts = ClientStarts(scratch);
  ASSERT_EQ(starts.size(), 2u);
  for (const auto& start : starts) {
    EXPECT_EQ(start.program, scratch.folder + "tessaly.exe");
    EXPECT_EQ(start.folder + "\\", scratch.folder);
  }
  EXPECT_EQ(starts[0].arguments, std::vector<std::string>{"call12345"});
  EXPECT_TRUE(starts[1].arguments.empty());
}

TEST_F(Launcher, ClientWithAnotherTitleIsNotFound) {
  Scratch scratch("other title");
  StandInClient client("Qorvel 2");
  ExpectQuietSuccess(Launch(scratch, "ordalin://call/7"));

  EXPECT_TRUE(client.Messages().empty());
  auto starts = ClientStarts(scratch);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].arguments, std::vector<std::string>{"call7"});
}

TEST_F(Launcher, AppIniNamesTheClientTitle) {
  Scratch scratch("app ini");
  StandInClient qorvel("Qorvel");
  StandInClient custom("Tessaly Desk");
  StandInClient untitled("");

  scratch.WriteAppIni("[System]\r\nAppName=Tessaly Desk\r\n");
  ExpectQuietSuccess(Launch(scratch, "ordalin://a/1"));
  // Present and empty: only a window without a title matches.
  scratch.WriteAppIni("[System]\r\nAppName=\r\n");
  ExpectQuietSuccess(Launch(scratch, "ordalin://b/2"));
  // Another section or key: the default title.
  scratch.WriteAppIni("[Other]\r\nAppName=Tessaly Desk\r\n[System]\r\nName=x\r\n");
  ExpectQuietSuccess(Launch(scratch, "ordalin://c/3"));

  auto toCustom = custom.Messages();
  ASSERT_EQ(toCustom.size(), 1u);
  ExpectMessage(toCustom[0], "a1");
  auto toUntitled = untitled.Messages();
  ASSERT_EQ(toUntitled.size(), 1u);
  ExpectMessage(toUntitled[0], "b2");
  auto toQorvel = qorvel.Messages();
  ASSERT_EQ(toQorvel.size(), 1u);
  ExpectMessage(toQorvel[0], "c3");
  EXPECT_TRUE(ClientStarts(scratch).empty());
}

TEST_F(Launcher, WithoutArgumentRegistersAndLeavesTheClientAlone) {
  Scratch scratch("register");
  scratch.WriteAppIni("[System]\r\nAppName=Qorvel\r\n");
  StandInClient client("Qorvel");

  ExpectQuietSuccess(Launch(scratch));

  ExpectRegisteredFor(scratch);
  EXPECT_EQ(ReadFileText(SessionFile()), scratch.folder + "tessaly.exe {sessionId}\r\n");
  EXPECT_TRUE(client.Messages().empty());
  EXPECT_TRUE(ClientStarts(scratch).empty());
}

TEST_F(Launcher, RegistrationAndSessionFileAreRewrittenOnEveryStart) {
  Scratch first("first");
  Scratch second("second");
  WriteValue(kClassKey, "", "stale");
  WriteValue(kClassKey, "URL Protocol", "stale and much longer than the new value, to be cut");
  WriteValue(kIconKey, "", "stale");
  WriteValue(kCommandKey, "", "C:\\Program.exe %1");

  ExpectQuietSuccess(Launch(first));
  ExpectRegisteredFor(first);
  ExpectQuietSuccess(Launch(second));
  ExpectRegisteredFor(second);

  // Truncated, not appended to: one line after two runs.
  EXPECT_EQ(ReadFileText(SessionFile()), second.folder + "tessaly.exe {sessionId}\r\n");
  ExpectQuietSuccess(Launch(first, "ordalin://x"));
  EXPECT_EQ(ReadFileText(SessionFile()), first.folder + "tessaly.exe {sessionId}\r\n");
}

TEST_F(Launcher, SessionFileThatCannotBeCreatedStopsEverything) {
  Scratch scratch("no session");
  StandInClient client("Qorvel");
  // A folder in the file's place: the file cannot be created.
  ASSERT_TRUE(CreateDirectoryA(SessionFile().c_str(), nullptr));

  Outcome withLink = Launch(scratch, "ordalin://call/1");
  Outcome withoutArgument = Launch(scratch);
  RemoveDirectoryA(SessionFile().c_str());

  for (const Outcome* out : {&withLink, &withoutArgument}) {
    ASSERT_TRUE(out->boxShown);
    EXPECT_EQ(out->box.caption, "Application Error");
    const std::string expectedStart =
        "Cannot create file \"" + SessionFile() + "\". ";  // then the system's reason
    EXPECT_TRUE(std::regex_match(out->box.text,
                                 std::regex("Exception EFCreateError in module ordalin\\.exe at "
                                            "[0-9A-F]{8,16}\\.\r\n[^\r]+\\.\r\n")))
        << out->box.text;
    EXPECT_NE(out->box.text.find("\r\n" + expectedStart), std::string::npos) << out->box.text;
    EXPECT_GT(out->box.text.size(), out->box.text.find(expectedStart) + expectedStart.size() + 3)
        << "no reason given: " << out->box.text;
    EXPECT_EQ(out->exitCode, 1u);
  }
  // Nothing after the failure: no message, no client start, no registration.
  EXPECT_TRUE(client.Messages().empty());
  EXPECT_TRUE(ClientStarts(scratch).empty());
  EXPECT_FALSE(KeyExists(kClassKey));
}

TEST_F(Launcher, RegistryValueThatCannotBeWrittenIsReported) {
  Scratch scratch("read only key");
  // The class key exists but may only be read: opening it for full access fails, so the first
  // value written fails.
  WriteValue(kClassKey, "", "before");
  SetKeyAccess(kClassKey, true);
  Outcome classKey = Launch(scratch);
  SetKeyAccess(kClassKey, false);
  ExpectString(kClassKey, "", "before");

  // Only the command key is read-only: the values before it are written, then the command's
  // default value fails.
  WriteValue(kCommandKey, "", "before");
  SetKeyAccess(kCommandKey, true);
  Outcome commandKey = Launch(scratch);
  SetKeyAccess(kCommandKey, false);
  ExpectString(kClassKey, "URL Protocol", "\"" + scratch.Launcher() + "\" %1");
  ExpectString(kIconKey, "", "%SystemRoot%\\system32\\url.dll,0");
  ExpectString(kCommandKey, "", "before");

  for (const Outcome* out : {&classKey, &commandKey}) {
    ASSERT_TRUE(out->boxShown);
    EXPECT_EQ(out->box.caption, "Application Error");
    EXPECT_TRUE(std::regex_match(out->box.text,
                                 std::regex("Exception ERegistryException in module ordalin\\.exe "
                                            "at [0-9A-F]{8,16}\\.\r\n"
                                            "Failed to set data for ''\r\n")))
        << out->box.text;
    EXPECT_EQ(out->exitCode, 1u);
  }
  // The session file comes first and is written all the same.
  EXPECT_EQ(ReadFileText(SessionFile()), scratch.folder + "tessaly.exe {sessionId}\r\n");
}

TEST_F(Launcher, NoApplicationDataFolderIsAClearError) {
  Scratch scratch("no app data");
  // Point the user's application-data folder at a folder that does not exist, so the shell
  // cannot name it; put the old setting back afterwards.
  HKEY folders = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, KEY_ALL_ACCESS, &folders),
            ERROR_SUCCESS);
  char saved[1024] = {};
  DWORD savedSize = sizeof saved, savedType = 0;
  ASSERT_EQ(RegQueryValueExA(folders, "AppData", nullptr, &savedType,
                             reinterpret_cast<BYTE*>(saved), &savedSize),
            ERROR_SUCCESS);
  const char missing[] = "C:\\no such folder\\for app data";
  RegSetValueExA(folders, "AppData", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(missing),
                 sizeof missing);
  StandInClient client("Qorvel");

  Outcome out = Launch(scratch, "ordalin://call/1");

  RegSetValueExA(folders, "AppData", 0, savedType, reinterpret_cast<const BYTE*>(saved), savedSize);
  RegCloseKey(folders);

  ASSERT_TRUE(out.boxShown);
  EXPECT_EQ(out.box.caption, "Application Error");
  EXPECT_NE(out.box.text.find("Exception EAppDataFolderError in module ordalin.exe at "),
            std::string::npos)
      << out.box.text;
  EXPECT_NE(out.box.text.find("Cannot determine the application data folder for the session file."),
            std::string::npos)
      << out.box.text;
  EXPECT_EQ(out.exitCode, 1u);
  EXPECT_FALSE(FileExists(std::string(missing) + "\\tessaly.dat"));
  EXPECT_TRUE(client.Messages().empty());
  EXPECT_TRUE(ClientStarts(scratch).empty());
}

TEST_F(Launcher, MissingClientExecutableIsSilent) {
  Scratch scratch("no tessaly", /*withClientExe=*/false);
  ExpectQuietSuccess(Launch(scratch, "ordalin://call/1"));
  EXPECT_TRUE(ClientStarts(scratch).empty());
}
