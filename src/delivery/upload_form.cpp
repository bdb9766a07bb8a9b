#include "delivery/upload_form.h"

#include <cstdio>

namespace vl::delivery {

namespace {

uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

std::string SafeName(const std::string& name) {
  std::string out = name;
  for (char& c : out) {
    if (c == '"' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
  }
  return out;
}

bool HexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

}  // namespace

std::string ChooseFormBoundary(const std::vector<TFormField>& fields, uint64_t seed) {
  for (;; ++seed) {
    char text[40];
    std::snprintf(text, sizeof text, "VantorLogUpload-%016llx",
                  static_cast<unsigned long long>(seed));
    const std::string boundary = text;
    bool free = true;
    for (const TFormField& field : fields) {
      if (field.Value.find(boundary) != std::string::npos ||
          field.Name.find(boundary) != std::string::npos ||
          field.FileName.find(boundary) != std::string::npos) {
        free = false;
        break;
      }
    }
    if (free) return boundary;
  }
}

std::string FormContentType(const std::string& boundary) {
  return "multipart/form-data; boundary=" + boundary;
}

std::string BuildFormBody(const std::vector<TFormField>& fields, const std::string& boundary) {
  size_t size = boundary.size() + 8;
  for (const TFormField& field : fields) size += field.Value.size() + boundary.size() + 160;
  std::string body;
  body.reserve(size);
  for (const TFormField& field : fields) {
    body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + SafeName(field.Name) +
            "\"";
    if (!field.FileName.empty()) {
      body += "; filename=\"" + SafeName(field.FileName) + "\"\r\nContent-Type: " +
              (field.ContentType.empty() ? std::string("application/octet-stream")
                                         : SafeName(field.ContentType));
    }
    body += "\r\n\r\n";
    body += field.Value;
    body += "\r\n";
  }
  body += "--" + boundary + "--\r\n";
  return body;
}

std::vector<TFormField> ReportFormFields(const std::string& module, const std::string& version,
                                         const std::string& guid, const std::string& minidump,
                                         const std::string& report) {
  return {
      {"upload_file_minidump", module + ".dmp", "application/octet-stream", minidump},
      {"prod", "", "", module},
      {"ver", "", "", version},
      {"guid", "", "", guid},
      {"vantorlog_report", "report.txt", "text/plain", report},
  };
}

std::string FormatInstallationGuid(const uint8_t bytes[16]) {
  uint8_t b[16];
  for (int i = 0; i < 16; ++i) b[i] = bytes[i];
  b[6] = static_cast<uint8_t>((b[6] & 0x0F) | 0x40);  // version 4: random
  b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80);  // the RFC 4122 variant
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
    out += digits[b[i] >> 4];
    out += digits[b[i] & 15];
  }
  return out;
}

bool IsInstallationGuid(const std::string& text) {
  if (text.size() != 36) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? text[i] != '-' : !HexDigit(text[i])) return false;
  }
  return true;
}

bool LooksLikeMinidump(const uint8_t* data, size_t size) {
  if (!data || size < 32) return false;
  if (Load32(data) != 0x504D444Du || (Load32(data + 4) & 0xFFFF) != 0xA793) return false;
  const uint64_t streams = Load32(data + 8);
  const uint64_t directory = Load32(data + 12);
  return streams > 0 && directory >= 32 && directory + streams * 12 <= size;
}

}  // namespace vl::delivery
