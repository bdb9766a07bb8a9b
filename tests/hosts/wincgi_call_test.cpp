// The WinCGI decision and its profile reading, over a pretend file system.
#include "hosts/wincgi_call.h"

#include <gtest/gtest.h>

#include <map>

using namespace vl;

using hosts::AbsoluteFileName;
using hosts::ProfileValue;

namespace {

class FakeFiles : public hosts::TWinCgiPlatform {
 public:
  std::map<std::string, hosts::TFileFacts> files;
  std::vector<std::string> inspected;

  void Add(const std::string& name, const std::string& contents) {
    hosts::TFileFacts f;
    f.exists = f.regularFile = f.readable = true;
    f.size = contents.size();
    f.contents = contents;
    files[name] = f;
  }
  hosts::TFileFacts Inspect(const std::string& name) override {
    inspected.push_back(name);
    auto it = files.find(name);
    if (it == files.end()) return {};
    hosts::TFileFacts f = it->second;
    if (!f.regularFile || f.size > hosts::MaxProfileBytes) f.contents.clear();
    return f;
  }
  bool FileExists(const std::string& name) override { return files.count(name) != 0; }
  uint64_t FileSize(const std::string& name) override { return files[name].size; }
};

const char kProfile[] =
    "[CGI]\r\nRequest Method=GET\r\n[System]\r\nOutput File=C:\\srv\\out.htm\r\n";

}  // namespace

TEST(ProfileValue, ReadsLikeThePrivateProfileApi) {
  struct Case {
    const char* profile;
    const char* section;
    const char* key;
    const char* expected;
  } cases[] = {
      {"[CGI]\nRequest Method=GET\n", "CGI", "Request Method", "GET"},
      {"[cgi]\r\n  request method  =  POST  \r\n", "CGI", "Request Method", "POST"},
      {"[ CGI ]\nRequest Method=\"GET \"\n", "CGI", "Request Method", "GET "},
      {"[CGI]\nRequest Method='x'\n", "CGI", "Request Method", "x"},
      {"[CGI]\nRequest Method=\"x'\n", "CGI", "Request Method", "\"x'"},
      {"[CGI]\nRequest Method=\n", "CGI", "Request Method", ""},
      {"[CGI]\nRequest Method\n", "CGI", "Request Method", ""},
      {"[Other]\nRequest Method=GET\n", "CGI", "Request Method", "-"},
      {"Request Method=GET\n[CGI]\n", "CGI", "Request Method", "-"},
      {"[CGI]\nA=1\n[System]\nRequest Method=GET\n", "CGI", "Request Method", "-"},
      // Only the first section of a name is read.
      {"[CGI]\nA=1\n[CGI]\nRequest Method=GET\n", "CGI", "Request Method", "-"},
      {"[CGI]\nRequest Method=a=b\n", "CGI", "Request Method", "a=b"},
      {"\xEF\xBB\xBF[CGI]\nRequest Method=GET", "CGI", "Request Method", "GET"},
      {"[CGI\nRequest Method=GET\n", "CGI", "Request Method", "GET"},
      {"", "CGI", "Request Method", "-"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ProfileValue(c.profile, c.section, c.key, "-"), c.expected) << c.profile;
  std::string longValue(5000, 'v');
  EXPECT_EQ(ProfileValue("[S]\nK=" + longValue, "S", "K").size(), hosts::MaxProfileValue);
}

TEST(AbsoluteFileName, ResolvesAgainstTheCurrentFolder) {
  struct Case {
    const char* name;
    const char* current;
    const char* expected;
  } cases[] = {
      {"req.ini", "C:\\srv\\cgi", "C:\\srv\\cgi\\req.ini"},
      {"sub/req.ini", "C:\\srv", "C:\\srv\\sub\\req.ini"},
      {"..\\req.ini", "C:\\srv\\cgi\\", "C:\\srv\\req.ini"},
      {"..\\..\\..\\req.ini", "C:\\srv", "C:\\req.ini"},
      {".\\a\\.\\b.ini", "C:\\", "C:\\a\\b.ini"},
      {"\\tmp\\req.ini", "D:\\srv", "D:\\tmp\\req.ini"},
      {"E:\\tmp\\req.ini", "D:\\srv", "E:\\tmp\\req.ini"},
      {"d:req.ini", "D:\\srv", "d:\\srv\\req.ini"},
      {"E:req.ini", "D:\\srv", "E:\\req.ini"},
      {"\\\\host\\share\\req.ini", "C:\\srv", "\\\\host\\share\\req.ini"},
      {"req.ini", "\\\\host\\share\\dir", "\\\\host\\share\\dir\\req.ini"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(AbsoluteFileName(c.name, c.current), c.expected) << c.name << " in " << c.current;
}

TEST(WinCgiDecision, OnlyARegularSmallProfileWithARequestMethodAndAnExistingOutput) {
  struct Case {
    const char* what;
    bool console;
    std::vector<std::string> params;
    bool isWinCgi;
    std::string output;
  } cases[] = {
      {"profile names the output", false, {"req.ini"}, true, "C:\\srv\\out.htm"},
      {"third parameter wins", false, {"req.ini", "in.dat", "my.htm"}, true, "C:\\cgi\\my.htm"},
      {"empty third parameter", false, {"req.ini", "in.dat", ""}, true, "C:\\srv\\out.htm"},
      {"console program", true, {"req.ini"}, false, ""},
      {"no parameter", false, {}, false, ""},
      {"missing profile", false, {"none.ini"}, false, ""},
      {"folder as profile", false, {"folder"}, false, ""},
      {"unreadable profile", false, {"locked.ini"}, false, ""},
      {"102,401 bytes", false, {"big.ini"}, false, ""},
      {"102,400 bytes", false, {"edge.ini"}, true, "C:\\srv\\out.htm"},
      {"no request method", false, {"nomethod.ini"}, false, ""},
      {"output missing", false, {"req.ini", "", "gone.htm"}, false, ""},
      {"no output named", false, {"nooutput.ini"}, false, ""},
  };
  FakeFiles fs;
  fs.Add("C:\\cgi\\req.ini", kProfile);
  fs.Add("C:\\srv\\out.htm", "old answer");
  fs.Add("C:\\cgi\\my.htm", "");
  fs.Add("C:\\cgi\\folder", kProfile);
  fs.files["C:\\cgi\\folder"].regularFile = false;
  fs.Add("C:\\cgi\\locked.ini", kProfile);
  fs.files["C:\\cgi\\locked.ini"].readable = false;
  std::string padded = kProfile;
  padded += ";" + std::string(hosts::MaxProfileBytes - padded.size() - 1, 'x');
  fs.Add("C:\\cgi\\edge.ini", padded);
  fs.Add("C:\\cgi\\big.ini", padded + "x");
  fs.Add("C:\\cgi\\nomethod.ini", "[CGI]\nRequest Method=\n[System]\nOutput File=C:\\srv\\out.htm");
  fs.Add("C:\\cgi\\nooutput.ini", "[CGI]\nRequest Method=GET\n");
  for (const Case& c : cases) {
    hosts::TWinCgiCall call = hosts::DecideWinCgi(c.console, c.params, "C:\\cgi", fs);
    EXPECT_EQ(call.isWinCgi, c.isWinCgi) << c.what;
    EXPECT_EQ(call.outputFile, c.output) << c.what;
  }
  // Only the server's own output may be cut: named by the request and empty at the decision.
  fs.Add("C:\\cgi\\fresh.ini", "[CGI]\nRequest Method=GET\n[System]\nOutput File=my.htm");
  struct Own {
    std::vector<std::string> params;
    bool own;
  } owns[] = {{{"fresh.ini"}, true},
              {{"nooutput.ini", "", "my.htm"}, true},
              {{"req.ini"}, false},                       // held data
              {{"req.ini", "in.dat", "my.htm"}, false}};  // not the profile's
  for (const Own& o : owns)
    EXPECT_EQ(hosts::DecideWinCgi(false, o.params, "C:\\cgi", fs).ownOutput, o.own);
  // Devices and pipes are never looked at, as profile or as output.
  for (const char* device :
       {"\\\\.\\pipe\\req", "//?/C:/cgi/req.ini", "nul", "Com1.ini", "CONOUT$ "})
    EXPECT_FALSE(hosts::DecideWinCgi(false, {device}, "C:\\cgi", fs).isWinCgi) << device;
  EXPECT_FALSE(hosts::DecideWinCgi(false, {"req.ini", "", "lpt1.htm"}, "C:\\cgi", fs).isWinCgi);
  // The profile is looked for beside the current folder, never by its bare name.
  for (const std::string& name : fs.inspected) EXPECT_EQ(name.rfind("C:\\cgi\\", 0), 0u) << name;
}
