#include "launcher/launch_values.h"

#include "runtime/file_names.h"

namespace vl::ordalin {

std::string ExtractFilePath(const std::string& fileName) { return rtl::ExtractFilePath(fileName); }

std::string SessionFileText(const std::string& exeFolder) {
  return exeFolder + kClientExe + kSessionSuffix + "\r\n";
}

std::string ProtocolCommand(const std::string& exeName) {
  return "\"" + exeName + "\"" + kCommandSuffix;
}

}  // namespace vl::ordalin
