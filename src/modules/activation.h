// The rule that decides at start-up whether the crash reporter is active: only when the module
// that contains it carries a data block with debug information. Inactive means no hooks, no
// working options, errors never seen, a shut-down that does nothing.
#pragma once

#include <string>

namespace vl::modules {

struct TActivation {
  bool Active = false;
  // The crash reporter runs in a library and the main executable carries a block (either form).
  bool MainExecutableHasBlock = false;
  // Running inside the development environment: active without a block and without any
  // interception (the caller installs none); only the state and the module list are kept.
  bool DevelopmentEnvironment = false;
  // Why the crash reporter stays inactive (for the trace); empty when active.
  std::string Reason;
};

// The start-up's first steps: notes the start folder (for a restart), creates this module's
// "EXCEPT" and "MODULE" virtual files (one data byte each, 0) and the module list; unless running
// inside the development environment, registers this module. Without a record with debug
// information the list is freed and the crash reporter stays inactive. Inside the development
// environment the block is not looked for and the crash reporter is active (without
// interception). Installing hooks and creating the working options is left to the caller when
// the result is active.
TActivation ActivateModules();

bool IsVantorLogActive();

// Shut-down of an active crash reporter: frees the module list, deletes this module's virtual
// files and marks the crash reporter inactive. Inactive, it does nothing (the virtual files
// stay until the process ends).
void DeactivateModules();

// Raises EAssertionFailed ("Cannot use 'CurrentVantorLogOptions' function without VantorLog
// activate.") when the crash reporter is inactive.
void CheckActiveForCurrentOptions();

}  // namespace vl::modules
