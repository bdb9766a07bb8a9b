// Fuzz target for the WinCGI request profile (an INI file any caller of the program can hand
// it) and the file names taken from it: the input is the profile; its first line, when it has
// one, is also used as the command-line parameter and the current folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "hosts/wincgi_call.h"

using namespace vl;

namespace {
class OneFile : public hosts::TWinCgiPlatform {
 public:
  explicit OneFile(const std::string& contents) : contents_(contents) {}
  hosts::TFileFacts Inspect(const std::string&) override {
    hosts::TFileFacts f;
    f.exists = f.regularFile = f.readable = true;
    f.size = contents_.size();
    if (f.size <= hosts::MaxProfileBytes) f.contents = contents_;
    return f;
  }
  bool FileExists(const std::string&) override { return true; }
  uint64_t FileSize(const std::string&) override { return 0; }

 private:
  const std::string& contents_;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string profile(reinterpret_cast<const char*>(data), size);
  for (const char* key : {"Request Method", "Output File"}) {
    std::string value = hosts::ProfileValue(profile, key[0] == 'R' ? "CGI" : "System", key, "");
    if (value.size() > hosts::MaxProfileValue) abort();
  }
  const std::string firstLine = profile.substr(0, profile.find('\n'));
  const std::string absolute = hosts::AbsoluteFileName(firstLine, firstLine);
  // Below a drive root, no ".." survives (a share's own name may be anything).
  if (absolute.size() >= 2 && absolute[1] == ':' && absolute.find("\\..\\") != std::string::npos)
    abort();
  OneFile file(profile);
  hosts::TWinCgiCall call = hosts::DecideWinCgi(false, {firstLine, "", ""}, "C:\\srv", file);
  if (call.isWinCgi && (size > hosts::MaxProfileBytes || call.outputFile.empty())) abort();
  return 0;
}
