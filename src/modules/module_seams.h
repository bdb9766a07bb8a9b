// What module registration needs from parts of the crash reporter that live elsewhere: the
// module options class, the exported-functions list of the debug information, the internal
// trace and the development-environment test. Each is a function pointer that the owning part
// sets at start-up; an unset one means "not available" (no options object, no functions list,
// no trace line, not in the development environment).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace vl {

class TVantorModuleOptionsEx;  // the module options (options class)
class TVantorFunctionsList;    // a module's exported functions (debug information)

namespace modules {

struct TSeams {
  // A module's options object with ModuleName = FileName and AutoApply on.
  TVantorModuleOptionsEx* (*CreateOptions)(const std::string& moduleName) = nullptr;
  void (*FreeOptions)(TVantorModuleOptionsEx* options) = nullptr;
  // LoadFromStream over the bytes at Data (Size of them exist) written with data version
  // Version: returns the bytes it took; raises when the stream is short or corrupt.
  size_t (*LoadOptions)(TVantorModuleOptionsEx* options, const uint8_t* data, size_t size,
                        uint16_t version) = nullptr;
  // LoadExtension over the bytes at Data (Size of them exist): the options extension when they
  // begin with its magic, else nothing; raises when it is short or corrupt.
  size_t (*LoadOptionsExtension)(TVantorModuleOptionsEx* options, const uint8_t* data,
                                 size_t size) = nullptr;
  // Copies every option of Source into Target (a block's options are read into a scratch object
  // and copied into the record only when the whole block has been read).
  void (*AssignOptions)(TVantorModuleOptionsEx* target,
                        const TVantorModuleOptionsEx* source) = nullptr;

  TVantorFunctionsList* (*BuildFunctionsList)(HMODULE module) = nullptr;
  void (*FreeFunctionsList)(TVantorFunctionsList* list) = nullptr;

  // One line of the internal trace.
  void (*Trace)(const std::string& line) = nullptr;
  bool (*IsRunningInIDE)() = nullptr;
};

TSeams& Seams();

// Writes a trace line when a trace is connected.
void TraceLine(const std::string& line);

}  // namespace modules

}  // namespace vl
