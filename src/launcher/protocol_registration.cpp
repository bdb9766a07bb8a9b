#include "launcher/protocol_registration.h"

#include "launcher/launch_values.h"
#include "launcher/registry.h"
#include "runtime/application.h"
#include "runtime/exceptions.h"

namespace vl::ordalin {

void RegisterProtocol() {
  const std::string command = ProtocolCommand(Forms::Application->ExeName());
  TRegistry registry(HKEY_LOCAL_MACHINE);

  if (!registry.KeyExists(kClassKey) && !registry.CreateKey(kClassKey))
    throw ERegistryException::CreateKeyFailed(kClassKey);

  // A key that cannot be opened is not reported by itself: the value written next fails.
  registry.OpenKey(kClassKey, true);
  registry.WriteString("", kClassValue);
  registry.WriteString(kUrlProtocolValueName, command);
  registry.CloseKey();

  registry.OpenKey(kIconKey, true);
  registry.WriteString("", kIconValue);
  registry.CloseKey();

  registry.OpenKey(kCommandKey, true);
  registry.WriteString("", command);
  registry.CloseKey();
}

}  // namespace vl::ordalin
