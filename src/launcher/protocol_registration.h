// Registers the launcher as the handler of the "ordalin://" protocol, machine-wide.
#pragma once

namespace vl::ordalin {

// Writes, under HKEY_LOCAL_MACHINE, the class key "SOFTWARE\Classes\ORDALIN" (default value
// "ORDALIN", "URL Protocol" = the command), its DefaultIcon and its Shell\open\command (default
// value = the command). The command is the executable's quoted path + " %1". Every start without
// an argument repeats it, overwriting what was there.
// Raises ERegistryException when the class key cannot be created or a value cannot be written.
void RegisterProtocol();

}  // namespace vl::ordalin
