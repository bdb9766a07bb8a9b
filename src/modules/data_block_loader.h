// Recognising a module that carries a data block, and loading the block into the module's
// information record.
#pragma once

#include <windows.h>

#include <string>

namespace vl {

class TVantorModuleInfo;

namespace modules {

using vl::TVantorModuleInfo;

// The module carries the resource form: RCDATA "VLDATA" beginning with the magic.
bool IsVantorLogModule(HMODULE module);

// The module's file ends with the magic of the trailer form. Raises EFOpenError
// ("Cannot open file \"%s\". %s") when the file cannot be opened.
bool IsVantorLogModule_Old(HMODULE module);

// Loads the block of Info's module (the resource form first, then the trailer form) into
// DataVersion, Reserved1/2, Options and DebugInfo; then, for a module other than the one that
// contains the crash reporter, the options the module published in its "MODULE" virtual file.
// A damaged block, or a file that cannot be read, counts as no block: the record is left
// untouched, the reason goes to the trace and to LastReason, and the result is false.
bool LoadDebugInformation(TVantorModuleInfo& info);

// Why the last LoadDebugInformation on this thread found no block (empty after a success).
const std::string& LastLoadFailure();

}  // namespace modules

}  // namespace vl
