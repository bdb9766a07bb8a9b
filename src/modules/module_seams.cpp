#include "modules/module_seams.h"

#include "core/byte_stream.h"
#include "core/internal_errors.h"
#include "core/module_options.h"
#include "core/trace.h"
#include "modules/published_data.h"

namespace modules {

namespace {

TVantorModuleOptionsEx* CreateCoreOptions(const std::string& moduleName) {
  return new TVantorModuleOptionsEx(moduleName, true);
}

void FreeCoreOptions(TVantorModuleOptionsEx* options) { delete options; }

size_t LoadCoreOptions(TVantorModuleOptionsEx* options, const uint8_t* data, size_t size,
                       uint16_t version) {
  core::TMemoryStream stream(data, size);
  options->LoadFromStream(stream, version);
  return stream.Position();
}

void CoreTrace(const std::string& line) { Trace(line); }

// The options' change handler publishes "flag byte 1 + stream" for the other modules.
void PublishOptionsFile(const std::vector<uint8_t>& data) {
  if (data.size() > 1 && data[0] == 1) PublishModuleOptions(data.data() + 1, data.size() - 1);
}

TModuleSeams MakeSeams() {
  TModuleSeams seams;
  seams.CreateOptions = CreateCoreOptions;
  seams.FreeOptions = FreeCoreOptions;
  seams.LoadOptions = LoadCoreOptions;
  seams.Trace = CoreTrace;
  seams.IsRunningInIDE = ::IsRunningInIDE;
  // Module registration is the first user of the options: connect their publishing here.
  core::OptionsPlatform().PublishModuleFile = PublishOptionsFile;
  return seams;
}

}  // namespace

TModuleSeams& ModuleSeams() {
  static TModuleSeams seams = MakeSeams();
  return seams;
}

void TraceLine(const std::string& line) {
  if (ModuleSeams().Trace) ModuleSeams().Trace(line);
}

}  // namespace modules
