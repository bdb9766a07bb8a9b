#include "launcher/app_name.h"

#include <windows.h>

#include "launcher/launch_values.h"
#include "runtime/application.h"

namespace vl::ordalin {

std::string ReadAppName() {
  std::string result = kDefaultAppName;
  const std::string settings = ExtractFilePath(Forms::Application->ExeName()) + kSettingsFile;
  char value[2048] = {};
  DWORD length = GetPrivateProfileStringA(kSettingsSection, kSettingsAppNameKey, result.c_str(),
                                          value, sizeof value, settings.c_str());
  result.assign(value, length);
  return result;
}

}  // namespace vl::ordalin
