// The launcher's fixed names and the texts it builds from the executable's path: the session
// file's line and the protocol's command value.
#pragma once

#include <cstdint>
#include <string>

namespace vl::ordalin {

constexpr char kUrlPrefix[] = "ordalin://";
constexpr char kRemovedCharacter[] = "/";

// The client: its main window, its executable beside the launcher and the verb that starts it.
constexpr char kClientWindowClass[] = "TMainTessaly";
constexpr char kClientExe[] = "tessaly.exe";
constexpr char kClientStartVerb[] = "open";
// wParam of the WM_COPYDATA message that carries the parameter string.
constexpr uintptr_t kCopyDataWParam = 66561;  // 0x10401

// The settings file beside the executable and the client window title it holds.
constexpr char kSettingsFile[] = "App.ini";
constexpr char kSettingsSection[] = "System";
constexpr char kSettingsAppNameKey[] = "AppName";
constexpr char kDefaultAppName[] = "Qorvel";

// The session file in the user's application-data folder, and what follows the client's path.
constexpr char kSessionFileName[] = "tessaly.dat";
constexpr char kSessionSuffix[] = " {sessionId}";

// The protocol registration under HKEY_LOCAL_MACHINE.
constexpr char kClassKey[] = "SOFTWARE\\Classes\\ORDALIN";
constexpr char kIconKey[] = "SOFTWARE\\Classes\\ORDALIN\\DefaultIcon";
constexpr char kCommandKey[] = "SOFTWARE\\Classes\\ORDALIN\\Shell\\open\\command";
constexpr char kClassValue[] = "ORDALIN";
constexpr char kUrlProtocolValueName[] = "URL Protocol";
constexpr char kIconValue[] = "%SystemRoot%\\system32\\url.dll,0";
constexpr char kCommandSuffix[] = " %1";

// The application title, code page 936 text handed to the 8-bit window API byte for byte.
constexpr char kApplicationTitle[] = "\x54\x65\x6c\x6d\x61\x72\x69\x6e";

// The path up to and including its last "\" or ":" (empty when it has neither), read in the
// ANSI code page: the second byte of a double-byte character is never a delimiter.
std::string ExtractFilePath(const std::string& fileName);

// The session file's whole content for a launcher in ExeFolder (which ends with a backslash):
// the client's path, " {sessionId}", CR LF.
std::string SessionFileText(const std::string& exeFolder);

// The command value of the protocol: the executable's path in double quotes (so that a path with
// spaces cannot be taken for a shorter program), then " %1".
std::string ProtocolCommand(const std::string& exeName);

}  // namespace vl::ordalin
