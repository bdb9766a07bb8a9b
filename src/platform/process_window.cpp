#include "platform/process_window.h"

namespace vl::platform {

namespace {

struct Search {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK Visit(HWND window, LPARAM param) {
  Search* search = reinterpret_cast<Search*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
  HWND parent = GetWindow(window, GW_OWNER);
  if (parent && parent != GetDesktopWindow()) return TRUE;
  LONG_PTR ex = GetWindowLongPtrA(window, GWL_EXSTYLE);
  if ((ex & WS_EX_TOOLWINDOW) && !(ex & WS_EX_APPWINDOW)) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

HWND FindProcessWindow(DWORD processId) {
  Search search = {processId, nullptr};
  EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace vl::platform
