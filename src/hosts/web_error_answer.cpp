#include "hosts/web_error_answer.h"

#include <algorithm>

#include "core/internal_errors.h"
#include "core/trace.h"
#include "hosts/host_kind.h"
#include "hosts/isapi_requests.h"
#include "hosts/web_error_header.h"
#include "runtime/exceptions.h"
#include "runtime/system.h"

namespace vl::hosts {

namespace {

bool WriteAll(HANDLE handle, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 0x10000));
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data() + done, chunk, &written, nullptr) || written == 0)
      return false;
    done += written;
  }
  return true;
}

bool SendIsapi(const std::string& page, DWORD threadId) {
  EXTENSION_CONTROL_BLOCK* ecb = ServingControlBlock(threadId);
  if (!ecb) {
    SetStepError(eeShowError, "ISAPI: ServerECB = nil");
    return false;
  }
  std::string header = WebErrorHeader(false, page.size());
  std::string status = "500 Error";
  ecb->dwHttpStatusCode = 500;
  DWORD headerSize = static_cast<DWORD>(header.size());
  bool ok = ecb->ServerSupportFunction &&
            ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_SEND_RESPONSE_HEADER, &status[0],
                                       &headerSize, reinterpret_cast<DWORD*>(&header[0]));
  size_t done = 0;
  while (ok && done < page.size()) {
    DWORD size = static_cast<DWORD>(page.size() - done);
    ok = ecb->WriteClient &&
         ecb->WriteClient(ecb->ConnID, const_cast<char*>(page.data() + done), &size, 0) && size > 0;
    done += size;
  }
  if (!ok) SetStepError(eeShowError, "ISAPI: Cannot send the answer.");
  return ok;
}

bool SendCgi(const std::string& page) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  bool ok = out && out != INVALID_HANDLE_VALUE &&
            WriteAll(out, WebErrorHeader(true, page.size())) && WriteAll(out, page);
  if (!ok) SetStepError(eeShowError, "CGI: Cannot write in the ouput file.");
  return ok;
}

bool SendWinCgi(const std::string& page, const TWinCgiCall& call) {
  const std::string& outputFile = call.outputFile;
  HANDLE file = INVALID_HANDLE_VALUE;
  try {
    if (!call.ownOutput)
      throw EStreamError(Format("The output file \"%s\" is not the server's own; it is left alone.",
                                outputFile.c_str()));
    file = CreateFileA(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE || GetFileType(file) != FILE_TYPE_DISK)
      throw EFCreateError(outputFile, rtl::SysErrorMessage(GetLastError()));
    if (!WriteAll(file, WebErrorHeader(true, page.size())) || !WriteAll(file, page) ||
        !SetEndOfFile(file))
      throw EStreamError(Format("Cannot write file \"%s\". %s", outputFile.c_str(),
                                rtl::SysErrorMessage(GetLastError()).c_str()));
    CloseHandle(file);
    return true;
  } catch (...) {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    ReportStepError(eeShowError, "WinCGI");
    return false;
  }
}

}  // namespace

bool SendWebErrorAnswer(const std::string& page, DWORD faultingThreadId) {
  Trace("SendWebErrorAnswer", {static_cast<uint32_t>(page.size()), faultingThreadId}, 2);
  bool result = true;
  if (IsIsapiHost()) {
    result = SendIsapi(page, faultingThreadId);
  } else if (IsCgiHost()) {
    result = SendCgi(page);
  } else {
    TWinCgiCall call = WinCgiHost();
    if (call.isWinCgi) result = SendWinCgi(page, call);
  }
  Trace("SendWebErrorAnswer=", {result}, -2);
  return result;
}

}  // namespace vl::hosts
