// libFuzzer target for the options reader. The first two bytes of an input choose the data-block
// version, the rest is the options stream and, after it, the options extension (as a block or a
// published stream carries them). Whatever the bytes, LoadFromStream and LoadExtension must
// either read completely or raise EVantorOptionsStreamError with the options unchanged; what
// they accept must survive a save and a reload unchanged. With VL_FUZZ_SEED_DIR set it first
// writes one seed per data version into that folder, each with an extension.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/byte_stream.h"
#include "core/module_options.h"

using namespace vl;

namespace {

const uint16_t kVersions[] = {400, 401, 403, 420, 421, 422, 440, 449, 450, 454};

std::vector<uint8_t> Save(const TVantorModuleOptions& o) {
  core::TMemoryStream s;
  o.SaveToStream(s);
  o.SaveExtension(s);
  return s.Data();
}

void Prepare(TVantorModuleOptions& o) {
  o.SetMailSubject("before");
  o.SetLogCapacity(9);
  o.FilterClasses().Add("EKeep");
  o.SetTextTable(20, "kept");
  o.SetUploadUrl("http://127.0.0.1/kept");
  o.SetSmtpSecurity(ssStartTls);
}

void WriteSeed(const std::string& name, size_t selector, const std::vector<uint8_t>& bytes) {
  if (FILE* f = std::fopen(name.c_str(), "wb")) {
    uint8_t head[2] = {static_cast<uint8_t>(selector), 0};
    std::fwrite(head, 1, 2, f);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
}

// One stream per data version, and the current one followed by its extension.
void WriteSeeds(const char* folder) {
  TVantorModuleOptions o("", false);
  Prepare(o);
  o.FilterMessages().Add("message");
  o.SetMailBodyText("Body\r\ntext");
  o.SetAttachMinidump(true);
  o.SetSmtpSecurity(ssTls);
  core::TMemoryStream stream;
  o.SaveToStream(stream);
  const size_t count = sizeof kVersions / sizeof kVersions[0];
  for (size_t i = 0; i < count; ++i)
    WriteSeed(std::string(folder) + "/seed-" + std::to_string(kVersions[i]), i, stream.Data());
  WriteSeed(std::string(folder) + "/seed-454-extension", count - 1, Save(o));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (const char* folder = std::getenv("VL_FUZZ_SEED_DIR")) WriteSeeds(folder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  uint16_t version = data[1] == 0 ? kVersions[data[0] % (sizeof kVersions / sizeof kVersions[0])]
                                  : static_cast<uint16_t>(data[0] | (data[1] << 8));
  TVantorModuleOptions options("C:\\App\\fuzz.exe", false);
  Prepare(options);
  std::vector<uint8_t> before = Save(options);
  core::TMemoryStream stream(data + 2, size - 2);
  try {
    options.LoadFromStream(stream, version);
  } catch (const EVantorOptionsStreamError&) {
    if (Save(options) != before || options.UpdateCount() != 0) std::abort();
    return 0;
  }
  if (options.UpdateCount() != 0) std::abort();
  const size_t used = 2 + stream.Position();
  std::vector<uint8_t> read = Save(options);
  try {
    size_t taken = options.LoadExtension(data + used, size - used);
    if (taken > size - used) std::abort();
  } catch (const EVantorOptionsStreamError&) {
    if (Save(options) != read || options.UpdateCount() != 0) std::abort();
  }
  std::vector<uint8_t> saved = Save(options);
  TVantorModuleOptions again("", false);
  core::TMemoryStream reread(saved);
  again.LoadFromStream(reread);
  if (again.LoadExtension(saved.data() + reread.Position(), saved.size() - reread.Position()) == 0)
    std::abort();
  if (Save(again) != saved) std::abort();
  return 0;
}
