#include "publishing/published_data.h"

#include <atomic>
#include <cstring>
#include <vector>

#include "core/trace.h"
#include "platform/module_file.h"
#include "publishing/except_record.h"
#include "publishing/virtual_file.h"
#include "runtime/exception_class.h"
#include "runtime/exceptions.h"
#include "runtime/system.h"

namespace vl::publishing {

namespace {

struct TOwnFile {
  HANDLE handle = nullptr;
  uint8_t* data = nullptr;
};
TOwnFile g_module;
TOwnFile g_except;

void Replace(TOwnFile& file, const char* name, const std::vector<uint8_t>& bytes) {
  DeleteVirtualFile(file.handle, file.data);
  size_t room = 0;
  file.handle =
      CreateVirtualFile(platform::CrashReporterModule(), name, bytes.size(), file.data, &room);
  if (!file.handle) return;
  if (room < bytes.size()) {
    // Another holder keeps an older, smaller block of that name open, so the system handed
    // back that one: the new contents do not fit. They are not published.
    Trace(Format("Virtual file %s not published: %u bytes do not fit the open block of %u", name,
                 static_cast<unsigned>(bytes.size()), static_cast<unsigned>(room)));
    DeleteVirtualFile(file.handle, file.data);
    return;
  }
  std::memcpy(file.data, bytes.data(), bytes.size());
}

}  // namespace

std::string PublishedText(const std::string& text) { return std::string(PublishedView(text)); }

void CreateOwnVirtualFiles() {
  Replace(g_except, kExceptFileName, {0});
  Replace(g_module, kModuleFileName, {0});
}

void DeleteOwnVirtualFiles() {
  DeleteVirtualFile(g_except.handle, g_except.data);
  DeleteVirtualFile(g_module.handle, g_module.data);
}

void PublishModuleOptions(const uint8_t* optionsStream, size_t size) {
  std::vector<uint8_t> bytes{1};
  if (size) bytes.insert(bytes.end(), optionsStream, optionsStream + size);
  Replace(g_module, kModuleFileName, bytes);
}

void PublishException(std::exception_ptr error) {
  std::string className =
      error ? rtl::ExceptionClassName(error) : std::string("Unknown exception type.");
  std::string message = rtl::IsExceptionClass(error, "Exception")
                            ? rtl::ExceptionMessage(error)
                            : std::string("Unknown error message.");
  std::vector<uint8_t> bytes(ExceptRecordSize(className, message));
  WriteExceptRecord(bytes.data(), className, message);
  Replace(g_except, kExceptFileName, bytes);
}

void PublishExceptionText(std::string_view className, std::string_view message) noexcept {
  // One writer at a time: a record is never unmapped and replaced while another thread writes.
  static std::atomic_flag busy = ATOMIC_FLAG_INIT;
  while (busy.test_and_set(std::memory_order_acquire)) Sleep(0);
  struct TRelease {
    ~TRelease() { busy.clear(std::memory_order_release); }
  } release;
  try {
    const size_t size = ExceptRecordSize(className, message);
    if (g_except.data && VirtualFileDataSize(g_except.data) >= size) {
      // Written in place, no copy in between (every raise passes here).
      WriteExceptRecord(g_except.data, className, message);
      return;
    }
    // Room for the usual record, so that later raises write in place.
    std::vector<uint8_t> bytes(size < 1024 ? 1024 : size, 0);
    WriteExceptRecord(bytes.data(), className, message);
    Replace(g_except, kExceptFileName, bytes);
  } catch (...) {
  }
}

bool ReadPublishedException(HMODULE module, std::string& className, std::string& message) {
  uint8_t* data = nullptr;
  size_t size = 0;
  HANDLE file = CreateVirtualFile(module, kExceptFileName, 0, data, &size);
  if (!file) return false;
  bool taken = false;
  if (size >= 1 && data[0] != 0) {
    // A block that does not hold two whole strings yields nothing.
    taken = ReadExceptRecord(data, size, className, message);
    data[0] = 0;
  }
  DeleteVirtualFile(file, data);
  return taken;
}

}  // namespace vl::publishing
