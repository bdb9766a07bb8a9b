// A file opened for writing through the system's file calls, as a core::TStream.
#pragma once

#include <windows.h>

#include <string>

#include "core/byte_stream.h"

namespace vl::delivery {

class TWriteFileStream : public core::TStream {
 public:
  // Creates FileName, replacing an existing file. Raises EFCreateError with the system's reason
  // when the file cannot be created (a folder of that name, a missing folder, no access).
  explicit TWriteFileStream(const std::string& fileName);
  ~TWriteFileStream() override;
  TWriteFileStream(const TWriteFileStream&) = delete;
  TWriteFileStream& operator=(const TWriteFileStream&) = delete;

  // Reading is not offered: always 0.
  size_t Read(void* buffer, size_t count) override;
  // Returns the bytes the system took; fewer than Count means the write failed.
  size_t Write(const void* buffer, size_t count) override;
  // Closes the file (also done by the destructor); later writes take nothing.
  void Close();

 private:
  HANDLE handle_;
};

}  // namespace vl::delivery
