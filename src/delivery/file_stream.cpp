#include "delivery/file_stream.h"

#include <algorithm>

#include "runtime/system.h"

namespace vl::delivery {

TWriteFileStream::TWriteFileStream(const std::string& fileName)
    : handle_(CreateFileA(fileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {
  if (handle_ == INVALID_HANDLE_VALUE)
    throw EFCreateError(fileName, rtl::SysErrorMessage(GetLastError()));
}

TWriteFileStream::~TWriteFileStream() { Close(); }

void TWriteFileStream::Close() {
  if (handle_ == INVALID_HANDLE_VALUE) return;
  CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

size_t TWriteFileStream::Read(void*, size_t) { return 0; }

size_t TWriteFileStream::Write(const void* buffer, size_t count) {
  if (handle_ == INVALID_HANDLE_VALUE) return 0;
  const char* at = static_cast<const char*>(buffer);
  size_t done = 0;
  while (done < count) {
    DWORD part = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 24));
    DWORD written = 0;
    if (!WriteFile(handle_, at + done, part, &written, nullptr)) break;
    done += written;
    if (written < part) break;
  }
  return done;
}

}  // namespace vl::delivery
