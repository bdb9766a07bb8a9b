// The GUI framework's application object: the executable's name, a hidden top-level window that
// owns the program's dialogs and shell calls, the title, and the start/run/shut-down sequence.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <string>

namespace vl::Forms {

class TApplication {
 public:
  TApplication();
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // Full path of the running executable.
  std::string ExeName() const;
  // The hidden application window (created with the object).
  HWND Handle() const { return FHandle; }

  const std::string& Title() const { return FTitle; }
  // Sets the title; also the hidden window's text, passed to the 8-bit window API unchanged.
  void SetTitle(const std::string& title);

  // Runs the runtime's application-initialisation procedure, when one is set.
  void Initialize();

  // Marks the application running and registers its shut-down; with a main form, runs the
  // message loop until the form is gone or Terminate is called, handing every exception that
  // escapes a message to HandleException; without one, returns at once.
  void Run();

  // Handles the exception being handled on this thread (call from a catch block): an EAbort is
  // dropped; otherwise OnException runs when set, else the error is shown in a message box.
  // A crash reporter redirects this routine (found by its qualified name in the debug
  // information), so it is never inlined, cloned or analysed across calls.
  __attribute__((noipa)) void HandleException(void* sender);

  // Shows an error's message in a message box captioned with the title.
  void ShowException(std::exception_ptr error);

  void Terminate();
  bool Terminated() const { return FTerminated; }
  bool Running() const { return FRunning; }

  // The main form's window; none unless the program creates one.
  HWND MainForm = nullptr;
  std::function<void(void* sender, std::exception_ptr error)> OnException;

 private:
  HWND FHandle = nullptr;
  std::string FTitle;
  bool FRunning = false;
  bool FTerminated = false;
};

// The one application object, created by the framework's unit initialisation.
extern TApplication* Application;

// Hands the exception being handled on this thread to the application object's
// HandleException with the window as sender; without an application object, to the runtime's
// unhandled-exception procedure.
void HandleWindowException(HWND window);

// A window procedure that stops exceptions at the window-procedure boundary. On i686 a throw
// cannot unwind through the system's message dispatch (user32 has no unwind tables for the
// compiler's table-based unwinder: the process would terminate), so every window procedure
// of the program is wrapped: GuardedWndProc<MyProc> catches what MyProc lets escape, hands it
// to HandleWindowException and answers 0.
template <LRESULT(CALLBACK* Proc)(HWND, UINT, WPARAM, LPARAM)>
LRESULT CALLBACK GuardedWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    return Proc(window, message, wParam, lParam);
  } catch (...) {
    HandleWindowException(window);
    return 0;
  }
}

}  // namespace vl::Forms
