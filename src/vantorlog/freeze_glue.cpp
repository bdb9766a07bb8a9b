#include "vantorlog/freeze_glue.h"

#include "core/trace.h"
#include "hosts/freeze_watchdog.h"
#include "pipeline/except_notify.h"

namespace vl::vantorlog {

namespace {

// user32's InternalGetWindowText reads a window's text without sending it a message.
using TInternalGetWindowText = int(WINAPI*)(HWND, LPWSTR, int);

std::string FocusedText(HWND focus) {
  HMODULE user32 = GetModuleHandleA("user32.dll");
  auto read = user32 ? reinterpret_cast<TInternalGetWindowText>(
                           reinterpret_cast<void*>(GetProcAddress(user32, "InternalGetWindowText")))
                     : nullptr;
  if (!read) return "";
  wchar_t wide[1024] = {};
  const int length = read(focus, wide, 1024);
  if (length <= 0) return "";
  if (GetWindowLongA(focus, GWL_STYLE) & ES_PASSWORD) {
    return std::string(static_cast<size_t>(length), '*');
  }
  char narrow[4096] = {};
  const int bytes =
      WideCharToMultiByte(CP_ACP, 0, wide, length, narrow, sizeof narrow - 1, nullptr, nullptr);
  return std::string(narrow, bytes > 0 ? static_cast<size_t>(bytes) : 0);
}

}  // namespace

void NotifyFreezeForPipeline(const hosts::TFrozenThreadState& state) {
  Trace("NotifyFreeze", {static_cast<uint32_t>(state.ThreadId)}, 2);
  pipeline::TExceptNotifyParams params;
  CONTEXT context = state.Context;
  params.Context = &context;
  params.ThreadId = state.ThreadId;
  params.StackPointer = state.StackPointer;
  params.StackBase = state.StackBase;
  params.StackCopy = state.StackCopy;
  params.StackCopySize = state.StackCopySize;
  GUITHREADINFO gui;
  gui.cbSize = sizeof gui;
  if (GetGUIThreadInfo(state.ThreadId, &gui) && gui.hwndFocus) {
    char className[256] = {};
    if (GetClassNameA(gui.hwndFocus, className, sizeof className) > 0) {
      params.ActiveControlClass = className;
    }
    params.ActiveControlText = FocusedText(gui.hwndFocus);
  }
  pipeline::ExceptNotifyWith(state.Error, reinterpret_cast<void*>(state.InstructionPointer), false,
                             params);
  Trace("NotifyFreeze=", {}, -2);
}

}  // namespace vl::vantorlog
