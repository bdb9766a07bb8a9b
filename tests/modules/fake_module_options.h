// Stand-in module options for registration tests: an object that holds the text of a
// FakeOptions stream, connected through the module seams.
#pragma once

#include <string>

#include "datablock/fake_options.h"
#include "modules/module_seams.h"

using namespace vl;

namespace testsupport {

struct FakeModuleOptions {
  std::string ModuleName;
  std::string Text = "defaults";
  int Loads = 0;
};

inline FakeModuleOptions* Fake(TVantorModuleOptionsEx* options) {
  return reinterpret_cast<FakeModuleOptions*>(options);
}

inline void ConnectFakeOptions() {
  modules::TSeams& seams = modules::Seams();
  seams.CreateOptions = [](const std::string& name) {
    auto* options = new FakeModuleOptions;
    options->ModuleName = name;
    return reinterpret_cast<TVantorModuleOptionsEx*>(options);
  };
  seams.FreeOptions = [](TVantorModuleOptionsEx* options) { delete Fake(options); };
  seams.AssignOptions = [](TVantorModuleOptionsEx* target, const TVantorModuleOptionsEx* source) {
    Fake(target)->Text = reinterpret_cast<const FakeModuleOptions*>(source)->Text;
    ++Fake(target)->Loads;
  };
  seams.LoadOptions = [](TVantorModuleOptionsEx* options, const uint8_t* data, size_t size,
                         uint16_t version) {
    std::string text;
    size_t used = FakeOptionsReader{&text, nullptr}(data, size, version);
    Fake(options)->Text = text;
    ++Fake(options)->Loads;
    return used;
  };
}

}  // namespace testsupport
