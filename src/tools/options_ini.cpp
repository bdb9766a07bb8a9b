#include "tools/options_ini.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>

#include "core/upload_url.h"

namespace vl {

namespace tools {

namespace {

using Options = TVantorModuleOptions;

// A bad value: the caller adds the place.
struct BadValue {
  std::string What;
};

bool ParseBool(const std::string& v) {
  if (v == "true" || v == "yes" || v == "1") return true;
  if (v == "false" || v == "no" || v == "0") return false;
  throw BadValue{"\"" + v + "\" is not a boolean (true/false)"};
}

// A whole number within [Min, Max], decimal or 0x hex.
int64_t ParseNumber(const std::string& v, int64_t min, int64_t max) {
  if (v.empty()) throw BadValue{"a number is missing"};
  const bool hex = v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X');
  const char* start = v.c_str() + (hex ? 2 : 0);
  if (*start == '+' || *start == ' ' || (hex && *start == '-')) {
    throw BadValue{"\"" + v + "\" is not a number"};
  }
  char* end = nullptr;
  errno = 0;
  long long value = std::strtoll(start, &end, hex ? 16 : 10);
  if (end == start || *end != '\0') throw BadValue{"\"" + v + "\" is not a number"};
  if (errno == ERANGE || value < min || value > max) {
    throw BadValue{"\"" + v + "\" is out of range (" + std::to_string(min) + " to " +
                   std::to_string(max) + ")"};
  }
  return value;
}

// A value by name, or any byte as a number: the options store, stream and read every byte (a
// dump writes an unnamed value as its number, and it must read back).
int64_t ParseNamed(const std::string& v, const std::vector<std::string>& names) {
  for (size_t i = 0; i < names.size(); ++i) {
    if (v == names[i]) return static_cast<int64_t>(i);
  }
  return ParseNumber(v, 0, 255);
}

const std::vector<std::string> kMailModes{"mmNone", "mmMailClient", "mmViaServer", "mmDirect"};
const std::vector<std::string> kThirdButtonActions{"tbTerminate", "tbRestart"};
const std::vector<std::string> kSmtpSecurities{"none", "starttls", "tls"};

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        out += c;
    }
  }
  return out + "\"";
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) throw BadValue{"a text ends in a lone \"\\\""};
    switch (text[i]) {
      case 'r':
        out += '\r';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case '"':
        out += '"';
        break;
      case '\\':
        out += '\\';
        break;
      default:
        throw BadValue{std::string("unknown escape \"\\") + text[i] + "\""};
    }
  }
  return out;
}

std::string ParseText(const std::string& v) {
  if (!v.empty() && v.front() == '"') {
    if (v.size() < 2 || v.back() != '"') throw BadValue{"a quoted text has no closing quote"};
    return Unescape(v.substr(1, v.size() - 2));
  }
  return Unescape(v);
}

// Empty (no upload) or an address the upload can use.
std::string ParseUploadUrl(const std::string& v) {
  std::string url = ParseText(v), why;
  core::TUploadUrl parts;
  if (!url.empty() && !core::SplitUploadUrl(url, parts, why))
    throw BadValue{"\"" + url + "\" is not an upload address: " + why};
  return url;
}

struct Field {
  const char* Name;
  std::function<std::string(const Options&)> Get;
  std::function<void(Options&, const std::string&)> Set;
};

#define VL_BOOL(name)                                                               \
  Field {                                                                           \
#name, [](const Options& o) { return std::string(o.name() ? "true" : "false"); }, \
        [](Options& o, const std::string& v) { o.Set##name(ParseBool(v)); } \
  }
#define VL_NUMBER(name, type, min, max)                                                \
  Field {                                                                              \
#name, [](const Options& o) { return std::to_string(o.name()); },                    \
        [](Options& o, const std::string& v) {                                           \
          o.Set##name(static_cast<type>(ParseNumber(v, min, max)));                       \
        } \
  }
#define VL_TEXT(name)                                                                              \
  Field {                                                                                          \
#name, [](const Options& o) { return Quote(o.name()); },                                       \
                                                          [](Options & o,                          \
                                                             const std::string&                    \
                                                                 v) { o.Set##name(ParseText(v)); } \
  }

const std::vector<Field>& Fields() {
  static const std::vector<Field> fields{
      VL_BOOL(ReservedFlag),
      VL_BOOL(FiltersOn),
      VL_NUMBER(HandlingFlags, THandlingFlags, 0, 255),
      VL_BOOL(TellUser),
      VL_BOOL(ReportInBody),
      VL_BOOL(SendWholeLog),
      VL_BOOL(AddScreenshot),
      VL_BOOL(ShowSmtpProgress),
      VL_BOOL(AppendToLog),
      VL_NUMBER(FirstDetailsPage, uint8_t, 0, 255),
      VL_BOOL(PaintedDialogs),
      VL_BOOL(WatchdogOn),
      VL_NUMBER(WatchdogSeconds, int32_t, INT32_MIN, INT32_MAX),
      VL_TEXT(WatchdogMessage),
      VL_TEXT(SmtpSender),
      VL_TEXT(SmtpServer),
      VL_NUMBER(SmtpServerPort, uint16_t, 0, 65535),
      VL_TEXT(SmtpUser),
      VL_TEXT(SmtpLoginPassword),
      Field{"ThirdButtonAction",
            [](const Options& o) {
              return o.ThirdButtonAction() < kThirdButtonActions.size()
                         ? kThirdButtonActions[o.ThirdButtonAction()]
                         : std::to_string(o.ThirdButtonAction());
            },
            [](Options& o, const std::string& v) {
              o.SetThirdButtonAction(static_cast<uint8_t>(ParseNamed(v, kThirdButtonActions)));
            }},
      VL_BOOL(ShowThirdButton),
      VL_NUMBER(LogCapacity, int32_t, INT32_MIN, INT32_MAX),
      VL_NUMBER(ThirdButtonAfter, int32_t, INT32_MIN, INT32_MAX),
      VL_TEXT(MailRecipients),
      VL_TEXT(MailSubject),
      Field{"MailMode",
            [](const Options& o) {
              return o.MailMode() < kMailModes.size() ? kMailModes[o.MailMode()]
                                                      : std::to_string(o.MailMode());
            },
            [](Options& o, const std::string& v) {
              o.SetMailMode(static_cast<TMailMode>(ParseNamed(v, kMailModes)));
            }},
      Field{"ReportItems",
            [](const Options& o) {
              char text[16];
              std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(o.ReportItems()));
              return std::string(text);
            },
            [](Options& o, const std::string& v) {
              o.SetReportItems(static_cast<uint32_t>(ParseNumber(v, 0, UINT32_MAX)));
            }},
      VL_TEXT(LogLocation),
      VL_TEXT(MailBodyText),
      // The extension.
      Field{"UploadUrl", [](const Options& o) { return Quote(o.UploadUrl()); },
            [](Options& o, const std::string& v) { o.SetUploadUrl(ParseUploadUrl(v)); }},
      VL_BOOL(AttachMinidump),
      Field{"SmtpSecurity",
            [](const Options& o) {
              return o.SmtpSecurity() < kSmtpSecurities.size() ? kSmtpSecurities[o.SmtpSecurity()]
                                                               : std::to_string(o.SmtpSecurity());
            },
            [](Options& o, const std::string& v) {
              for (size_t i = 0; i < kSmtpSecurities.size(); ++i) {
                if (v == kSmtpSecurities[i]) return o.SetSmtpSecurity(static_cast<uint8_t>(i));
              }
              throw BadValue{"\"" + v + "\" is not one of none, starttls, tls"};
            }},
  };
  return fields;
}

#undef VL_BOOL
#undef VL_NUMBER
#undef VL_TEXT

// "Group/Name" of every text, "#2" added to a reference that an earlier text already has.
const std::vector<std::string>& TextKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> out;
    std::map<std::string, int> seen;
    for (int i = 0; i < core::TextCount; ++i) {
      std::string key = core::TextReference(i);
      int n = ++seen[key];
      if (n > 1) key += "#" + std::to_string(n);
      out.push_back(key);
    }
    return out;
  }();
  return keys;
}

std::string Trim(const std::string& s) {
  size_t begin = s.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return "";
  size_t end = s.find_last_not_of(" \t\r");
  return s.substr(begin, end - begin + 1);
}

}  // namespace

void ApplyOptionsIni(const std::string& text, const std::string& fileName,
                     TVantorModuleOptions& options) {
  std::map<std::string, std::function<void(const std::string&)>> setters;
  for (const Field& field : Fields()) {
    setters[field.Name] = [&options, &field](const std::string& v) { field.Set(options, v); };
  }
  for (size_t i = 0; i < TextKeys().size(); ++i) {
    setters[TextKeys()[i]] = [&options, i](const std::string& v) {
      options.SetTextTable(static_cast<uint8_t>(i), ParseText(v));
    };
  }
  bool classesCleared = false, messagesCleared = false;
  setters["FilterClasses"] = [&](const std::string& v) {
    if (!classesCleared) options.FilterClasses().Clear();
    classesCleared = true;
    options.FilterClasses().Add(ParseText(v));
  };
  setters["FilterMessages"] = [&](const std::string& v) {
    if (!messagesCleared) options.FilterMessages().Clear();
    messagesCleared = true;
    options.FilterMessages().Add(ParseText(v));
  };

  std::map<std::string, size_t> given;  // key -> line that set it
  size_t lineNumber = 0;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    ++lineNumber;
    auto fail = [&](const std::string& what) {
      throw EOptionsIniError(fileName + "(" + std::to_string(lineNumber) + "): " + what);
    };
    if (lineNumber == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line = Trim(line.substr(3));
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      if (line != "[Options]" && line != "[Texts]") fail("unknown section " + line);
      continue;
    }
    size_t equals = line.find('=');
    if (equals == std::string::npos) fail("\"key=value\" expected, found \"" + line + "\"");
    std::string key = Trim(line.substr(0, equals));
    std::string value = Trim(line.substr(equals + 1));
    auto setter = setters.find(key);
    if (setter == setters.end()) fail("unknown key \"" + key + "\"");
    if (key != "FilterClasses" && key != "FilterMessages") {
      auto [it, added] = given.emplace(key, lineNumber);
      if (!added) {
        fail("\"" + key + "\" is already set on line " + std::to_string(it->second));
      }
    }
    try {
      setter->second(value);
    } catch (const BadValue& bad) {
      fail("bad value for \"" + key + "\": " + bad.What);
    }
  }
  if (options.FilterClasses().Count() != options.FilterMessages().Count()) {
    throw EOptionsIniError(fileName + ": FilterClasses and FilterMessages must come in pairs (" +
                           std::to_string(options.FilterClasses().Count()) + " and " +
                           std::to_string(options.FilterMessages().Count()) + ")");
  }
}

std::string WriteOptionsIni(const TVantorModuleOptions& options) {
  std::string out = "[Options]\n";
  for (const Field& field : Fields())
    out += std::string(field.Name) + "=" + field.Get(options) + "\n";
  for (const std::string& item : options.FilterClasses().Strings()) {
    out += "FilterClasses=" + Quote(item) + "\n";
  }
  for (const std::string& item : options.FilterMessages().Strings()) {
    out += "FilterMessages=" + Quote(item) + "\n";
  }
  out += "\n[Texts]\n";
  for (size_t i = 0; i < TextKeys().size(); ++i) {
    out += TextKeys()[i] + "=" + Quote(options.TextTable(static_cast<uint8_t>(i))) + "\n";
  }
  return out;
}

}  // namespace tools

}  // namespace vl
