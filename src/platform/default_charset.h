// The font character set that matches the user's code page.
#pragma once

#include <windows.h>

namespace vl::platform {

// The user's default ANSI code page (the system's when the locale's cannot be read as a
// number) translated into a font character set; DEFAULT_CHARSET when it has none.
BYTE GetDefaultCharset();

}  // namespace vl::platform
