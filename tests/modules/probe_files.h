// Copies of the probe libraries with data blocks attached, made at test time: the resource form
// through the platform's resource update, the trailer form by appending to the file.
#pragma once

#include <windows.h>

#include <string>

#include "datablock/data_block_writer.h"
#include "datablock/fake_options.h"
#include "support/win_process.h"

using namespace vl;

namespace testsupport {

inline datablock::TBytes Bytes(const std::string& s) {
  return datablock::TBytes(s.begin(), s.end());
}

// The standard test payload: options text Options, debug information Debug.
inline datablock::TBytes Payload(const std::string& options, const std::string& debug) {
  return datablock::BuildPayload(FakeOptions(options), Bytes(debug));
}

// Copies Source (a file beside the test) to a fresh file named Name; returns its full path.
inline std::string ProbeCopy(const std::string& name,
                             const std::string& source = "probe_library.dll") {
  std::string path = ExeFolder() + "tmp_" + name;
  DeleteFileA(path.c_str());
  if (!CopyFileA((ExeFolder() + source).c_str(), path.c_str(), FALSE)) return "";
  return path;
}

// Adds RCDATA "VLDATA" holding Bytes to the file.
inline bool AttachResource(const std::string& path, const datablock::TBytes& bytes) {
  HANDLE update = BeginUpdateResourceA(path.c_str(), FALSE);
  if (!update) return false;
  BOOL ok = UpdateResourceA(update, MAKEINTRESOURCEA(10), "VLDATA",
                            MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                            const_cast<uint8_t*>(bytes.data()), static_cast<DWORD>(bytes.size()));
  return EndUpdateResourceA(update, !ok) && ok;
}

inline bool AttachTrailer(const std::string& path, const datablock::TBytes& trailer) {
  try {
    datablock::AppendToFile(path, trailer);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace testsupport
