// Writes seed inputs for the data-block fuzz targets: valid blocks of both forms.
#include <cstdio>
#include <string>

#include "core/module_options.h"
#include "datablock/data_block_writer.h"
#include "datablock/fake_options.h"

using namespace vl;

namespace {
void Write(const std::string& path, const datablock::TBytes& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  std::string resource = argv[1], trailer = argv[2];
  datablock::TBytes payload =
      datablock::BuildPayload(testsupport::FakeOptions("options"), datablock::TBytes(300, 'd'));
  Write(resource + "/v454", datablock::BuildResourceBlock(payload, 454, 1, 2));
  Write(resource + "/v440", datablock::BuildResourceBlock(payload, 440, 1, 2));
  datablock::TBytes file(64, 'M');
  datablock::TBytes t = datablock::BuildTrailer(payload);
  file.insert(file.end(), t.begin(), t.end());
  Write(trailer + "/file", file);
  Write(trailer + "/bare", t);
  // With the options extension after the debug information.
  TVantorModuleOptions o("", false);
  o.SetUploadUrl("https://127.0.0.1/api/1/minidump/");
  o.SetAttachMinidump(true);
  o.SetSmtpSecurity(ssStartTls);
  core::TMemoryStream x;
  o.SaveExtension(x);
  datablock::TBytes extended = datablock::BuildPayload(testsupport::FakeOptions("options"),
                                                       datablock::TBytes(40, 'd'), x.Data());
  Write(resource + "/extension", datablock::BuildResourceBlock(extended, 454, 0, 0));
  Write(trailer + "/extension", datablock::BuildTrailer(extended));
  return 0;
}
