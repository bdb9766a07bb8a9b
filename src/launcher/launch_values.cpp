#include "launcher/launch_values.h"

namespace ordalin {

std::string ExtractFilePath(const std::string& fileName) {
  size_t delimiter = fileName.find_last_of("\\:");
  return delimiter == std::string::npos ? std::string() : fileName.substr(0, delimiter + 1);
}

std::string SessionFileText(const std::string& exeFolder) {
  return exeFolder + kClientExe + kSessionSuffix + "\r\n";
}

std::string ProtocolCommand(const std::string& exeName) {
  return "\"" + exeName + "\"" + kCommandSuffix;
}

}  // namespace ordalin
