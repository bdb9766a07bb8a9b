#include "platform/default_charset.h"

#include <cstdlib>

namespace vl::platform {

BYTE GetDefaultCharset() {
  char text[16] = {};
  UINT codePage = 0;
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE, text, sizeof text) > 0) {
    char* end = nullptr;
    unsigned long value = std::strtoul(text, &end, 10);
    if (end != text && *end == '\0') codePage = static_cast<UINT>(value);
  }
  if (codePage == 0) codePage = GetACP();
  CHARSETINFO info = {};
  if (!TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<uintptr_t>(codePage)), &info,
                            TCI_SRCCODEPAGE))
    return DEFAULT_CHARSET;
  return static_cast<BYTE>(info.ciCharset);
}

}  // namespace vl::platform
