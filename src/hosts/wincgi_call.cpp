#include "hosts/wincgi_call.h"

namespace vl::hosts {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

std::string ProfileValue(const std::string& profile, const std::string& section,
                         const std::string& key, const std::string& defaultValue) {
  const std::string wantSection = Trim(section);
  const std::string wantKey = Trim(key);
  size_t pos = 0;
  if (profile.compare(0, 3, "\xEF\xBB\xBF") == 0) pos = 3;
  bool inSection = false;
  bool seenSection = false;
  while (pos < profile.size()) {
    size_t end = profile.find('\n', pos);
    if (end == std::string::npos) end = profile.size();
    std::string line = Trim(profile.substr(pos, end - pos));
    pos = end + 1;
    if (!line.empty() && line[0] == '[') {
      size_t close = line.rfind(']');
      std::string name = Trim(
          line.substr(1, close == std::string::npos || close == 0 ? std::string::npos : close - 1));
      // Only the first section of a name counts.
      if (inSection) return defaultValue;
      inSection = !seenSection && SameName(name, wantSection);
      seenSection = seenSection || inSection;
      continue;
    }
    if (!inSection) continue;
    size_t eq = line.find('=');
    if (!SameName(Trim(line.substr(0, eq)), wantKey)) continue;
    if (eq == std::string::npos) return "";
    std::string value = Trim(line.substr(eq + 1));
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
      value = value.substr(1, value.size() - 2);
    if (value.size() > MaxProfileValue) value.resize(MaxProfileValue);
    return value;
  }
  return defaultValue;
}

std::string AbsoluteFileName(const std::string& name, const std::string& currentFolder) {
  std::string current = currentFolder;
  for (char& c : current)
    if (c == '/') c = '\\';
  std::string path = name;
  for (char& c : path)
    if (c == '/') c = '\\';
  // Root: "X:" or "\\server\share"; Rest: the parts below it.
  std::string root, rest;
  auto rootOf = [](const std::string& p, std::string& r, std::string& tail) {
    if (p.size() >= 2 && IsLetter(p[0]) && p[1] == ':') {
      r = p.substr(0, 2);
      tail = p.substr(2);
      return true;
    }
    if (p.size() >= 2 && p[0] == '\\' && p[1] == '\\') {
      size_t server = p.find('\\', 2);
      size_t share = server == std::string::npos ? server : p.find('\\', server + 1);
      r = p.substr(0, share);
      tail = share == std::string::npos ? "" : p.substr(share);
      return true;
    }
    return false;
  };
  std::string currentRoot, currentRest;
  if (!rootOf(current, currentRoot, currentRest)) {
    currentRoot = "";
    currentRest = current;
  }
  if (rootOf(path, root, rest)) {
    if (root.size() == 2 && (rest.empty() || rest[0] != '\\')) {
      // "X:name": relative to the current folder when it is on that drive.
      if (SameName(root, currentRoot))
        rest = currentRest + "\\" + rest;
      else
        rest = "\\" + rest;
    }
  } else if (!path.empty() && path[0] == '\\') {
    root = currentRoot;
    rest = path;
  } else {
    root = currentRoot;
    rest = currentRest + "\\" + path;
  }
  // Resolve "." and "..", drop empty parts.
  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos <= rest.size()) {
    size_t end = rest.find('\\', pos);
    if (end == std::string::npos) end = rest.size();
    std::string part = rest.substr(pos, end - pos);
    pos = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string out = root;
  for (const std::string& part : parts) out += "\\" + part;
  if (parts.empty()) out += "\\";
  return out;
}

bool IsDeviceName(const std::string& name) {
  if (name.size() >= 4 && (name[0] == '\\' || name[0] == '/') &&
      (name[1] == '\\' || name[1] == '/') && (name[2] == '.' || name[2] == '?') &&
      (name[3] == '\\' || name[3] == '/'))
    return true;
  const size_t slash = name.find_last_of("\\/:");
  std::string base = name.substr(slash == std::string::npos ? 0 : slash + 1);
  base = base.substr(0, base.find('.'));
  while (!base.empty() && (IsBlank(base.back()) || base.back() == ':')) base.pop_back();
  for (char& c : base) c = Lower(c);
  if (base == "con" || base == "prn" || base == "aux" || base == "nul" || base == "conin$" ||
      base == "conout$")
    return true;
  return base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) &&
         base[3] >= '1' && base[3] <= '9';
}

TWinCgiCall DecideWinCgi(bool consoleProgram, const std::vector<std::string>& parameters,
                         const std::string& currentFolder, TWinCgiPlatform& platform) {
  TWinCgiCall call;
  if (consoleProgram || parameters.empty() || parameters[0].empty()) return call;
  const std::string profileFile = AbsoluteFileName(parameters[0], currentFolder);
  if (IsDeviceName(profileFile)) return call;
  TFileFacts facts = platform.Inspect(profileFile);
  if (!facts.exists || !facts.regularFile || !facts.readable || facts.size > MaxProfileBytes ||
      facts.contents.size() > MaxProfileBytes)
    return call;
  if (ProfileValue(facts.contents, "CGI", "Request Method").empty()) return call;
  const std::string named = ProfileValue(facts.contents, "System", "Output File");
  std::string output = parameters.size() > 2 ? parameters[2] : "";
  if (output.empty()) output = named;
  if (output.empty()) return call;
  output = AbsoluteFileName(output, currentFolder);
  if (IsDeviceName(output) || !platform.FileExists(output)) return call;
  call.isWinCgi = true;
  call.ownOutput = (named.empty() || SameName(AbsoluteFileName(named, currentFolder), output)) &&
                   platform.FileSize(output) == 0;
  call.profileFile = profileFile;
  call.outputFile = output;
  return call;
}

}  // namespace vl::hosts
