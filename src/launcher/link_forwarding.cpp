#include "launcher/link_forwarding.h"

#include <shellapi.h>

#include <cstring>
#include <memory>

#include "launcher/app_name.h"
#include "launcher/launch_values.h"
#include "launcher/link_parameter.h"
#include "runtime/application.h"

namespace vl::ordalin {

std::string AppName;
std::string LinkParameter;
COPYDATASTRUCT CopyData = {};

void ForwardLink(const std::string& argument) {
  AppName = ReadAppName();
  LinkParameter = LinkParameterFromArgument(argument);

  HWND client = FindWindowA(kClientWindowClass, AppName.c_str());
  if (client) {
    CopyData.cbData = static_cast<DWORD>(LinkParameter.size() + 1);
    std::unique_ptr<char[]> buffer(new char[CopyData.cbData]);
    std::memcpy(buffer.get(), LinkParameter.c_str(), CopyData.cbData);
    CopyData.lpData = buffer.get();
    SendMessageA(client, WM_COPYDATA, static_cast<WPARAM>(kCopyDataWParam),
                 reinterpret_cast<LPARAM>(&CopyData));
    CopyData.lpData = nullptr;
  } else {
    const std::string folder = ExtractFilePath(Forms::Application->ExeName());
    const std::string clientExe = folder + kClientExe;
    ShellExecuteA(Forms::Application->Handle(), kClientStartVerb, clientExe.c_str(),
                  LinkParameter.c_str(), folder.c_str(), SW_SHOWNORMAL);
  }
}

}  // namespace vl::ordalin
