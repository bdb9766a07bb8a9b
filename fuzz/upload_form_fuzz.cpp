// The upload's framing. The first byte chooses what the rest is:
//   0  an UploadUrl: an accepted address written again from its parts splits into the same
//      parts, a host without ':', '/', '@' or blanks, a path that starts with "/"
//   1  five values cut at 0x00: the boundary occurs in none, and the form's body read back part
//      by part gives every value whole
//   2  a file: a minidump is at least its 32-byte header long
#include <cstdint>
#include <string>
#include <vector>

#include "core/upload_url.h"
#include "delivery/upload_form.h"
#include "fuzz_check.h"

using namespace vl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] % 3 == 0) {
    core::TUploadUrl url, again;
    std::string why;
    if (!core::SplitUploadUrl(rest, url, why)) return 0;
    Check(url.Host.find_first_of(":/@ \t") == std::string::npos && url.Path[0] == '/');
    Check(core::SplitUploadUrl((url.Secure ? "https://" : "http://") + url.Host + ":" +
                                   std::to_string(url.Port) + url.Path,
                               again, why));
    Check(again.Secure == url.Secure && again.Host == url.Host && again.Port == url.Port &&
          again.Path == url.Path);
  } else if (data[0] % 3 == 1) {
    std::vector<std::string> v(5);
    for (size_t i = 0, at = 0; i < v.size() && at <= rest.size(); ++i) {
      const size_t end = i + 1 < v.size() ? rest.find('\0', at) : std::string::npos;
      v[i] = rest.substr(at, end == std::string::npos ? end : end - at);
      at = end == std::string::npos ? rest.size() + 1 : end + 1;
    }
    const auto fields = delivery::ReportFormFields(v[1], v[2], v[3], v[0], v[4]);
    const std::string boundary = delivery::ChooseFormBoundary(fields, data[0]);
    const std::string body = delivery::BuildFormBody(fields, boundary);
    const std::string delimiter = "\r\n--" + boundary;
    size_t at = boundary.size() + 4;  // after the first "--boundary" CR LF
    Check(body.compare(0, at, "--" + boundary + "\r\n") == 0);
    for (const delivery::TFormField& field : fields) {
      Check(field.Value.find(boundary) == std::string::npos);
      const size_t header = body.find("\r\n\r\n", at);
      Check(header != std::string::npos && body.find("name=\"" + field.Name + "\"", at) < header);
      const size_t end = body.find(delimiter, header + 4);
      Check(end != std::string::npos &&
            body.compare(header + 4, end - header - 4, field.Value) == 0);
      at = end + delimiter.size() + 2;
    }
    Check(body.compare(at - 2, std::string::npos, "--\r\n") == 0);
  } else if (delivery::LooksLikeMinidump(data + 1, size - 1)) {
    Check(size - 1 >= 32);
  }
  return 0;
}
