// Whether the program was started as a WinCGI program, and where its answer goes. A WinCGI
// server starts a GUI program with the name of a request profile (an INI file) as its first
// parameter and the name of the output file as its third; the profile's section "CGI" holds
// "Request Method", its section "System" may name the "Output File" too.
//
// The profile is untrusted bytes: it is read once, at most MaxProfileBytes of it, and only
// when it is a regular file; anything else means "not WinCGI". Names are made absolute against
// the folder current at the decision, so a later change of the current folder cannot redirect
// the answer, and a bare name is never looked up in the system's folders. Device, pipe and
// "\\.\" / "\\?\" names are never handed to the platform at all.
//
// The answer may cut the output file only when it is the server's own: named by the request
// (the profile's "Output File", or the third parameter when the profile names none) and empty
// when the decision was made, which the program does as it starts. A file that held data is
// never cut.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vl::hosts {

constexpr uint64_t MaxProfileBytes = 102400;
// Profile values are read as by a 2,048-character buffer: at most 2,047 characters.
constexpr size_t MaxProfileValue = 2047;

// The value of Key in the first section named Section of the profile text, as the system's
// private-profile reader gives it: section and key names compared without regard to ASCII case
// and without surrounding blanks, the value without surrounding blanks and without one pair of
// matching surrounding quotes, cut to MaxProfileValue characters. Default when the section or
// key is missing.
std::string ProfileValue(const std::string& profile, const std::string& section,
                         const std::string& key, const std::string& defaultValue = "");

// Name made absolute against CurrentFolder (a Windows path with a drive letter or a share):
// "C:\x" and "\\server\share\x" stay; "\x" takes the current drive; "C:x" on the current drive
// goes under the current folder, on another drive under that drive's root; anything else goes
// under the current folder. "." and ".." parts are resolved; "/" counts as "\".
std::string AbsoluteFileName(const std::string& name, const std::string& currentFolder);

// What the platform tells about one file.
struct TFileFacts {
  bool exists = false;
  bool regularFile = false;  // a disk file, not a folder, device or pipe
  bool readable = false;     // opened and read without error
  uint64_t size = 0;
  std::string contents;  // read only for a regular file of at most MaxProfileBytes
};

class TWinCgiPlatform {
 public:
  virtual ~TWinCgiPlatform() = default;
  // Facts about the file; contents read (up to MaxProfileBytes + 1 bytes) only when it is a
  // regular file whose size is at most MaxProfileBytes.
  virtual TFileFacts Inspect(const std::string& absoluteName) = 0;
  virtual bool FileExists(const std::string& absoluteName) = 0;
  // The file's size in bytes (0 when it cannot be told).
  virtual uint64_t FileSize(const std::string& absoluteName) = 0;
};

// True for names the system takes for a device or a pipe: "\\.\..." and "\\?\..." (either
// slash), and a last part named CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$ or CONOUT$ with any
// extension, in any case, followed by any blanks, dots or colon.
bool IsDeviceName(const std::string& name);

struct TWinCgiCall {
  bool isWinCgi = false;
  std::string profileFile;  // absolute
  std::string outputFile;   // absolute; the answer goes there
  bool ownOutput = false;   // the server's own output file, empty at the decision: may be cut
};

// The decision: not for a console program; Parameters are the command line's parameters
// without the program name (Parameters[0] the profile, Parameters[2] the output file).
TWinCgiCall DecideWinCgi(bool consoleProgram, const std::vector<std::string>& parameters,
                         const std::string& currentFolder, TWinCgiPlatform& platform);

}  // namespace vl::hosts
