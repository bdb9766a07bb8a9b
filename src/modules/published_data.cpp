#include "modules/published_data.h"

#include <atomic>
#include <cstring>
#include <vector>

#include "binary/byte_reader.h"
#include "modules/exception_class.h"
#include "modules/module_file.h"
#include "modules/module_seams.h"
#include "modules/virtual_file.h"
#include "runtime/exceptions.h"
#include "runtime/system.h"

namespace vl::modules {

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
  file.handle = CreateVirtualFile(CrashReporterModule(), name, bytes.size(), file.data, &room);
  if (!file.handle) return;
  if (room < bytes.size()) {
    // Another holder keeps an older, smaller block of that name open, so the system handed
    // back that one: the new contents do not fit. They are not published.
    TraceLine(Format("Virtual file %s not published: %u bytes do not fit the open block of %u",
                     name, static_cast<unsigned>(bytes.size()), static_cast<unsigned>(room)));
    DeleteVirtualFile(file.handle, file.data);
    return;
  }
  std::memcpy(file.data, bytes.data(), bytes.size());
}

void PutString(std::vector<uint8_t>& out, const std::string& text) {
  std::string s = PublishedText(text);
  uint32_t n = static_cast<uint32_t>(s.size());
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(n >> (8 * i)));
  out.insert(out.end(), s.begin(), s.end());
}

}  // namespace

std::string PublishedText(const std::string& text) {
  if (text.size() >= 2 && text.find("\r\n") == text.size() - 2)
    return text.substr(0, text.size() - 2);
  return text;
}

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
  std::string message = IsExceptionClass(error, "Exception")
                            ? rtl::ExceptionMessage(error)
                            : std::string("Unknown error message.");
  std::vector<uint8_t> bytes{1};
  PutString(bytes, className);
  PutString(bytes, message);
  Replace(g_except, kExceptFileName, bytes);
}

namespace {

// PublishedText on a view: a CR LF that is the text's first and at its very end is dropped.
std::string_view PublishedView(std::string_view text) {
  if (text.size() >= 2 && text.find("\r\n") == text.size() - 2) text.remove_suffix(2);
  return text;
}

uint8_t* PutView(uint8_t* out, std::string_view text) {
  const auto n = static_cast<uint32_t>(text.size());
  for (int i = 0; i < 4; ++i) *out++ = static_cast<uint8_t>(n >> (8 * i));
  if (n) std::memcpy(out, text.data(), n);
  return out + n;
}

}  // namespace

void PublishExceptionText(std::string_view className, std::string_view message) noexcept {
  // One writer at a time: a record is never unmapped and replaced while another thread writes.
  static std::atomic_flag busy = ATOMIC_FLAG_INIT;
  while (busy.test_and_set(std::memory_order_acquire)) Sleep(0);
  struct TRelease {
    ~TRelease() { busy.clear(std::memory_order_release); }
  } release;
  try {
    const std::string_view name = PublishedView(className);
    const std::string_view text = PublishedView(message);
    const size_t size = 1 + 4 + name.size() + 4 + text.size();
    if (g_except.data && VirtualFileDataSize(g_except.data) >= size) {
      // Written in place, no copy in between (every raise passes here). The flag byte last, so
      // that a reader never takes a half-written record.
      g_except.data[0] = 0;
      PutView(PutView(g_except.data + 1, name), text);
      g_except.data[0] = 1;
      return;
    }
    // Room for the usual record, so that later raises write in place.
    std::vector<uint8_t> bytes(size < 1024 ? 1024 : size, 0);
    bytes[0] = 1;
    PutView(PutView(bytes.data() + 1, name), text);
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
    binary::TByteReader in(data + 1, size - 1);
    std::string name, text;
    if (in.ReadLongString(name, 0) && in.ReadLongString(text, 0)) {
      className = name;
      message = text;
      taken = true;
    }
    data[0] = 0;
  }
  DeleteVirtualFile(file, data);
  return taken;
}

}  // namespace vl::modules
