#include "modules/data_block_loader.h"

#include <cstring>
#include <exception>

#include "core/trace.h"
#include "datablock/data_block_reader.h"
#include "modules/module_info.h"
#include "modules/module_seams.h"
#include "modules/module_stream.h"
#include "platform/module_file.h"
#include "publishing/virtual_file.h"
#include "runtime/exceptions.h"
#include "runtime/system.h"

namespace vl::modules {

namespace {

thread_local std::string t_lastFailure;

// The module's "VLDATA" resource, locked; none when it has no such resource.
THModuleStream FindBlockResource(HMODULE module) {
  HRSRC found = FindResourceA(module, datablock::kResourceName, MAKEINTRESOURCEA(10));
  if (!found) return THModuleStream(nullptr, 0);
  HGLOBAL loaded = LoadResource(module, found);
  const void* memory = loaded ? LockResource(loaded) : nullptr;
  return THModuleStream(memory, memory ? SizeofResource(module, found) : 0);
}

// A module's file opened for reading, sharing allowed for everyone.
class TModuleFile : public datablock::TBlockSource {
 public:
  explicit TModuleFile(const std::string& fileName) {
    handle_ = CreateFileA(fileName.c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE)
      throw EFOpenError(fileName, rtl::SysErrorMessage(GetLastError()));
  }
  ~TModuleFile() override { CloseHandle(handle_); }
  TModuleFile(const TModuleFile&) = delete;
  TModuleFile& operator=(const TModuleFile&) = delete;

  uint64_t Size() override {
    LARGE_INTEGER size = {};
    return GetFileSizeEx(handle_, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
  }
  bool ReadAt(uint64_t position, void* buffer, size_t count) override {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(position);
    if (!SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN)) return false;
    char* p = static_cast<char*>(buffer);
    while (count > 0) {
      DWORD chunk = count > 0x10000000 ? 0x10000000 : static_cast<DWORD>(count);
      DWORD got = 0;
      if (!ReadFile(handle_, p, chunk, &got, nullptr) || got == 0) return false;
      p += got;
      count -= got;
    }
    return true;
  }

 private:
  HANDLE handle_;
};

// A block's options are read into a scratch object (without a module name, so reading it
// publishes nothing); the record's options change only when the whole block has been read.
class TScratchOptions {
 public:
  TScratchOptions() = default;
  ~TScratchOptions() {
    if (options_ && Seams().FreeOptions) Seams().FreeOptions(options_);
  }
  TScratchOptions(const TScratchOptions&) = delete;
  TScratchOptions& operator=(const TScratchOptions&) = delete;

  datablock::TOptionsReader Reader(const TVantorModuleInfo& info) {
    return [this, &info](const uint8_t* data, size_t size, uint16_t version) -> size_t {
      TSeams& seams = Seams();
      if (!seams.LoadOptions || !seams.CreateOptions || !seams.AssignOptions || !info.Options)
        throw Exception("no options reader is connected");
      if (!options_) options_ = seams.CreateOptions("");
      size_t used = seams.LoadOptions(options_, data, size, version);
      if (used > size) throw Exception("the options reader took more bytes than exist");
      return used;
    };
  }
  // Reads the block's options extension into what was read; a block without one leaves the
  // extension's options at their defaults.
  void LoadExtension(const std::vector<uint8_t>& extension) {
    if (options_ && !extension.empty() && Seams().LoadOptionsExtension)
      Seams().LoadOptionsExtension(options_, extension.data(), extension.size());
  }
  // Copies what was read into the record's options.
  void CommitTo(TVantorModuleInfo& info) {
    if (options_ && info.Options) Seams().AssignOptions(info.Options, options_);
  }

 private:
  TVantorModuleOptionsEx* options_ = nullptr;
};

// The options the module published, when its "MODULE" virtual file is filled.
void LoadPublishedOptions(TVantorModuleInfo& info) {
  uint8_t* data = nullptr;
  size_t size = 0;
  HANDLE file =
      publishing::CreateVirtualFile(info.Handle, publishing::kModuleFileName, 0, data, &size);
  if (!file) return;
  try {
    TSeams& seams = Seams();
    if (size >= 1 && data[0] != 0 && seams.LoadOptions && info.Options) {
      size_t used =
          seams.LoadOptions(info.Options, data + 1, size - 1, datablock::kLibraryDataVersion);
      // The extension follows the stream; a module built before it publishes none.
      if (seams.LoadOptionsExtension && used < size - 1)
        seams.LoadOptionsExtension(info.Options, data + 1 + used, size - 1 - used);
    }
  } catch (const std::exception& e) {
    TraceLine(std::string("LoadDebugInformation: published options ignored: ") + e.what());
  } catch (...) {
    TraceLine("LoadDebugInformation: published options ignored");
  }
  publishing::DeleteVirtualFile(file, data);
}

}  // namespace

bool IsVantorLogModule(HMODULE module) {
  Trace("IsVantorLogModule", {platform::GetModuleFileName(module)}, 2);
  THModuleStream block = FindBlockResource(module);
  bool result = datablock::HasResourceMagic(block.Memory(), block.Size());
  Trace("IsVantorLogModule=", {result}, -2);
  return result;
}

bool IsVantorLogModule_Old(HMODULE module) {
  std::string fileName = platform::GetModuleFileName(module);
  Trace("IsVantorLogModule_Old", {fileName}, 2);
  bool result = false;
  try {
    TModuleFile file(fileName);
    result = datablock::HasTrailerMagic(file);
  } catch (...) {
    Trace("IsVantorLogModule_Old=", {result}, -2);
    throw;
  }
  Trace("IsVantorLogModule_Old=", {result}, -2);
  return result;
}

bool LoadDebugInformation(TVantorModuleInfo& info) {
  Trace("LoadDebugInformation", {info.FileName}, 2);
  t_lastFailure.clear();
  datablock::TBlockResult result;
  TScratchOptions scratch;
  try {
    if (IsVantorLogModule(info.Handle)) {
      THModuleStream block = FindBlockResource(info.Handle);
      result = datablock::ReadResourceBlock(block.Memory(), block.Size(), scratch.Reader(info));
    } else if (IsVantorLogModule_Old(info.Handle)) {
      TModuleFile file(platform::GetModuleFileName(info.Handle));
      result = datablock::ReadTrailerBlock(file, scratch.Reader(info));
    } else {
      result.Reason = "no data block";
    }
  } catch (const std::exception& e) {
    // The file could not be opened for the trailer test: the module simply has no block.
    result = datablock::TBlockResult();
    result.Reason = e.what();
  } catch (...) {
    result = datablock::TBlockResult();
    result.Reason = "unknown failure";
  }

  if (result.Found) {
    try {
      scratch.LoadExtension(result.Block.Extension);
      scratch.CommitTo(info);
    } catch (const std::exception& e) {
      result.Found = false;
      result.Reason = std::string("the options could not be taken over: ") + e.what();
    }
  }
  if (result.Found) {
    info.DataVersion = result.Block.DataVersion;
    info.Reserved1 = result.Block.Reserved1;
    info.Reserved2 = result.Block.Reserved2;
    info.DropDebugUnits();
    info.DebugInfo.reset(new std::vector<uint8_t>(std::move(result.Block.DebugInfo)));
    if (info.Handle != platform::CrashReporterModule()) LoadPublishedOptions(info);
  } else {
    t_lastFailure = result.Reason;
    TraceLine("LoadDebugInformation: " + result.Reason);
  }
  Trace("LoadDebugInformation=", {result.Found}, -2);
  return result.Found;
}

const std::string& LastLoadFailure() { return t_lastFailure; }

}  // namespace vl::modules
