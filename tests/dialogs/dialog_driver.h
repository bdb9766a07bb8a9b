// Drives the dialogs from the test thread while they run on a worker thread of the test
// process, as they do under the notification pipeline: finds their windows, reads controls,
// clicks, and types through the system's input queue.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "core/module_options.h"

using namespace vl;

namespace dialogtest {

// Runs Body on its own thread; the destructor joins it.
class Worker {
 public:
  explicit Worker(std::function<void()> body);
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  DWORD ThreadId() const;  // waits until the thread has started
  bool Done() const { return done_.load(); }
  // Waits up to TimeoutMs for Body to return.
  bool Wait(DWORD timeoutMs = 10000) const;

 private:
  std::atomic<DWORD> id_{0};
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// The top-level dialog ("#32770") with this caption that belongs to ThreadId (0: any thread of
// this process), waited for up to TimeoutMs and until it has been painted; null when none.
HWND WaitForDialog(const char* caption, DWORD threadId, DWORD timeoutMs = 10000);
// Waits until Window is gone.
bool WaitGone(HWND window, DWORD timeoutMs = 10000);

std::string Text(HWND window);
std::string ItemText(HWND dialog, int id);
bool Visible(HWND dialog, int id);
bool Enabled(HWND dialog, int id);
bool Checked(HWND dialog, int id);
void Click(HWND dialog, int id);
RECT WindowRect(HWND window);
RECT ClientRect(HWND window);
// Position of a control inside its parent's client area.
RECT RectInParent(HWND control);

// Keys and the mouse through the system input queue (the dialog must be in the foreground).
void PressKey(WORD key);
void TypeText(const std::string& text);
void DoubleClickAt(POINT screen);
// The window that has the keyboard focus on Thread.
HWND FocusOf(DWORD threadId);
// Waits up to TimeoutMs until the focus on Thread is no longer Previous; returns the new one.
HWND WaitFocusChange(DWORD threadId, HWND previous, DWORD timeoutMs = 2000);
// Waits up to TimeoutMs until Window's text is Expected.
bool WaitForText(HWND window, const std::string& expected, DWORD timeoutMs = 5000);

// Options for the tests: the default texts, the look on.
struct TestOptions : TVantorModuleOptions {
  TestOptions() : TVantorModuleOptions("dialogs_test.exe", false) {}
};

// The message font of the system, as the dialogs use it.
HFONT MessageFont();
SIZE TextSize(HFONT font, const std::string& text);

}  // namespace dialogtest
